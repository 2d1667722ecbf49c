// encrypt.decrypt(): a result line back to its text.
#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#  define Py_LIMITED_API 0x030B0000
#endif
#include <Python.h>

#include <encrypt/encrypt.h>

#include <cstdint>

#include "large_buffer.hpp"

namespace {

// The line as bytes: a str's UTF-8 (whose bytes past ASCII are no digits, so
// that a line holding one is no result line), or any contiguous buffer.
PyObject* decrypt(PyObject*, PyObject* argument) {
    Py_buffer view{};
    const char* line = nullptr;
    Py_ssize_t length = 0;
    if (PyUnicode_Check(argument)) {
        line = PyUnicode_AsUTF8AndSize(argument, &length);
        if (line == nullptr) {
            return nullptr;
        }
    } else if (PyObject_CheckBuffer(argument) &&
               PyObject_GetBuffer(argument, &view, PyBUF_SIMPLE) == 0) {
        line = static_cast<const char*>(view.buf);
        length = view.len;
    } else {
        PyErr_Clear();
        PyObject* name = PyType_GetName(Py_TYPE(argument));
        PyErr_Format(PyExc_TypeError,
                     "decrypt() takes a str or a contiguous bytes-like object, not %U", name);
        Py_XDECREF(name);
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(length);
    const encrypt::detail::large_buffer buffer(encrypt_decrypt_capacity(size));
    std::uint32_t texts = 0;
    std::ptrdiff_t result = ENCRYPT_NO_MEMORY;
    if (buffer.data() != nullptr) {
        // Other Python threads run meanwhile where that costs less than the work.
        if (size >= (std::size_t{1} << 16)) {
            Py_BEGIN_ALLOW_THREADS result = encrypt_decrypt(buffer.data(), line, size, &texts);
            Py_END_ALLOW_THREADS
        } else {
            result = encrypt_decrypt(buffer.data(), line, size, &texts);
        }
    }
    if (view.obj != nullptr) {
        PyBuffer_Release(&view);
    }
    if (result >= 0) {
        return PyBytes_FromStringAndSize(buffer.data(), result);
    }
    if (result == ENCRYPT_NO_MEMORY) {
        return PyErr_NoMemory();
    }
    char reason[ENCRYPT_REASON_SIZE];
    PyErr_SetString(PyExc_ValueError, encrypt_reason(reason, result, texts));
    return nullptr;
}

}  // namespace

PyMethodDef decrypt_methods[] = {
    {"decrypt", decrypt, METH_O,
     "decrypt(line, /)\n--\n\n"
     "The text whose result line this is, as bytes: line is a str or\n"
     "bytes-like, with or without the caption and a line end. Raises\n"
     "ValueError('not a result line') where no text gives the line, and\n"
     "ValueError('K texts give this line') where several do and not exactly\n"
     "one of them is without a zero byte."},
    {nullptr, nullptr, 0, nullptr},
};
