// The Python module on the library's C interface, against Python's stable ABI
// from 3.11 on (the first whose limited API has the buffer protocol), so
// that one build serves every later Python.
#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#  define Py_LIMITED_API 0x030B0000
#endif
#include <Python.h>

#include <encrypt/encrypt.h>

#include <bit>
#include <cstddef>
#include <cstdint>

#include "large_buffer.hpp"

#ifndef ENCRYPT_VERSION
#  error "ENCRYPT_VERSION names the library's version"
#endif

extern PyMethodDef decrypt_methods[];  // _decrypt.cpp
extern PyMethodDef lines_methods[];    // _lines.cpp
int add_line_types(PyObject* module);  // _lines.cpp

namespace {

// From this many bytes of work on, other Python threads may run meanwhile:
// below it, giving up and taking back the GIL costs more than the work.
constexpr Py_ssize_t release_gil_from = Py_ssize_t{1} << 16;

// Runs `work`, which touches no Python object, with the GIL released if asked.
template <class Work>
auto run(bool release_gil, Work work) {
    if (!release_gil) {
        return work();
    }
    PyThreadState* const saved = PyEval_SaveThread();
    const auto result = work();
    PyEval_RestoreThread(saved);
    return result;
}

// Raises a TypeError: what `function` takes, and the type of `given` instead.
void wrong_type(const char* function, const char* takes, PyObject* given) {
    PyObject* name = PyType_GetName(Py_TYPE(given));
    PyErr_Format(PyExc_TypeError, "%s() takes %s, not %U", function, takes, name);
    Py_XDECREF(name);
}

// A text argument: the bytes of any object with the buffer protocol.
class text_argument {
public:
    text_argument(PyObject* text, const char* function) noexcept {
        if (PyUnicode_Check(text)) {
            PyErr_Format(PyExc_TypeError,
                         "%s() takes bytes, not str: encode the text first, for example "
                         "text.encode('utf-8')",
                         function);
        } else if (!PyObject_CheckBuffer(text)) {
            wrong_type(function, "a bytes-like object (bytes, bytearray, memoryview)", text);
        } else if (PyObject_GetBuffer(text, &view_, PyBUF_SIMPLE) != 0) {
            // A view with gaps between its items has no bytes in one piece.
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError,
                         "%s() takes a contiguous buffer; copy a strided view first, for "
                         "example bytes(view)",
                         function);
        } else if (static_cast<unsigned long long>(view_.len) > 0xffffffffULL) {
            PyErr_Format(PyExc_OverflowError,
                         "%s() takes texts of at most 4294967295 bytes, not %zd", function,
                         view_.len);
        } else {
            ok_ = true;
        }
    }
    ~text_argument() {
        if (view_.obj != nullptr) {  // a buffer was had
            PyBuffer_Release(&view_);
        }
    }
    text_argument(const text_argument&) = delete;
    text_argument& operator=(const text_argument&) = delete;

    bool ok() const noexcept { return ok_; }
    const char* data() const noexcept { return static_cast<const char*>(view_.buf); }
    std::uint32_t length() const noexcept { return static_cast<std::uint32_t>(view_.len); }
    bool large() const noexcept { return view_.len >= release_gil_from; }

private:
    Py_buffer view_{};
    bool ok_ = false;
};

// Writes the digits or the line of the text into a buffer of `capacity` bytes
// and returns the first `length - drop` bytes written as a str (all ASCII).
PyObject* ascii_result(PyObject* argument, const char* function,
                       std::size_t (*capacity_for)(std::uint32_t),
                       std::size_t (*write)(char*, const char*, std::uint32_t), std::size_t drop) {
    const text_argument text(argument, function);
    if (!text.ok()) {
        return nullptr;
    }
    const std::size_t capacity = capacity_for(text.length());  // 0: past the address space
    const encrypt::detail::large_buffer buffer(capacity);
    char* out = buffer.data();
    if (capacity == 0 || out == nullptr) {
        return PyErr_NoMemory();
    }
    const std::size_t length =
        run(text.large(), [&] { return write(out, text.data(), text.length()); });
    return PyUnicode_DecodeASCII(out, static_cast<Py_ssize_t>(length - drop), nullptr);
}

PyObject* hex(PyObject*, PyObject* text) {
    return ascii_result(text, "hex", encrypt_hex_capacity, encrypt_hex, 0);
}

PyObject* result_line(PyObject*, PyObject* text) {
    // The line without the line feed that ends it.
    return ascii_result(text, "result_line", encrypt_line_capacity, encrypt_line, 1);
}

PyObject* words(PyObject*, PyObject* argument) {
    const text_argument text(argument, "words");
    if (!text.ok()) {
        return nullptr;
    }
    const std::uint32_t length = text.length();
    std::uint32_t* encrypted = run(text.large(), [&] { return encrypt_text(text.data(), length); });
    // Counted in 64 bits: on a 32-bit system the words of a text of 2 GiB
    // and more take more bytes than size_t counts, and no array holds them.
    const std::uint64_t bytes = 4 * std::uint64_t{length / 2 + (length & 1u)};
    if (bytes > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) || (bytes != 0 && encrypted == nullptr)) {
        encrypt_free(encrypted);
        return PyErr_NoMemory();
    }
    // array.array('I', b) takes the words from bytes as they lie in memory.
    PyObject* array = PyImport_ImportModule("array");
    const char* from = encrypted != nullptr ? reinterpret_cast<const char*>(encrypted) : "";
    PyObject* result = array == nullptr ? nullptr
                                        : PyObject_CallMethod(array, "array", "sy#", "I", from,
                                                              static_cast<Py_ssize_t>(bytes));
    Py_XDECREF(array);
    encrypt_free(encrypted);
    return result;
}

// 'I' or 'L' in this machine's byte order: native, or said explicitly.
bool is_word_format(const char* format) {
    const char own_order = std::endian::native == std::endian::little ? '<' : '>';
    format += format != nullptr && (*format == '@' || *format == '=' || *format == own_order);
    return format != nullptr && (format[0] == 'I' || format[0] == 'L') && format[1] == '\0';
}

PyObject* encryption(PyObject*, PyObject* argument) {
    Py_buffer view;
    if (!PyObject_CheckBuffer(argument)) {
        wrong_type("encryption",
                   "a writable buffer of 32-bit unsigned words, such as "
                   "array.array('I') or a NumPy uint32 array",
                   argument);
        return nullptr;
    }
    if (PyObject_GetBuffer(argument, &view, PyBUF_FULL_RO) != 0) {
        return nullptr;
    }
    if (view.readonly) {
        PyErr_SetString(PyExc_TypeError,
                        "encryption() transforms words in place and needs a "
                        "writable buffer, not a read-only one");
    } else if (view.itemsize != 4 || !is_word_format(view.format)) {
        PyErr_Format(PyExc_TypeError,
                     "encryption() needs 32-bit unsigned words (format 'I' or "
                     "'L' of 4 bytes), not format '%s' with %zd-byte items",
                     view.format != nullptr ? view.format : "B", view.itemsize);
    } else if (!PyBuffer_IsContiguous(&view, 'A')) {
        PyErr_SetString(PyExc_ValueError,
                        "encryption() needs the words in one contiguous block, "
                        "not a strided view; transform a contiguous copy");
    } else {
        run(view.len >= release_gil_from, [&] {
            // The C interface counts words in 32 bits.
            auto* words = static_cast<std::uint32_t*>(view.buf);
            for (auto count = static_cast<std::size_t>(view.len) / 4; count > 0;) {
                const auto part =
                    static_cast<std::uint32_t>(count < 0xffffffffu ? count : 0xffffffffu);
                words = encrypt_words(words, part) + part;
                count -= part;
            }
            return 0;
        });
        PyBuffer_Release(&view);
        Py_INCREF(argument);
        return argument;
    }
    PyBuffer_Release(&view);
    return nullptr;
}

PyMethodDef methods[] = {
    {"hex", hex, METH_O,
     "hex(text, /)\n--\n\n"
     "The hex digits that `encrypt TEXT` prints for the text: every word in\n"
     "lowercase hex with no padding and no separator. text is bytes-like; a\n"
     "str is refused, since the tool takes bytes: encode it first."},
    {"result_line", result_line, METH_O,
     "result_line(text, /)\n--\n\n"
     "CAPTION followed by hex(text): the line `encrypt TEXT` prints, without\n"
     "the line feed that ends it."},
    {"words", words, METH_O,
     "words(text, /)\n--\n\n"
     "The text's transformed words as array.array('I'): its bytes two at a\n"
     "time as 16-bit units, the first byte low (an odd last byte with a zero\n"
     "high byte), each widened to 32 bits and transformed."},
    {"encryption", encryption, METH_O,
     "encryption(buffer, /)\n--\n\n"
     "Transforms every 32-bit unsigned word of a writable, contiguous buffer\n"
     "in place and returns the buffer: array.array('I'), a NumPy uint32\n"
     "array, or any buffer of format 'I' or 'L' with 4-byte items. With v a\n"
     "word and all arithmetic modulo 2**32, p = (v + 26) * (v + 5) and the\n"
     "new word is p ^ (p >> 16)."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    return PyModule_AddFunctions(module, decrypt_methods) != 0 ||
                   PyModule_AddFunctions(module, lines_methods) != 0 || add_line_types(module) != 0 ||
                   PyModule_AddStringConstant(module, "CAPTION", ENCRYPT_CAPTION) != 0 ||
                   PyModule_AddStringConstant(module, "__version__", ENCRYPT_VERSION) != 0
               ? -1
               : 0;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT,
    "encrypt._encrypt",
    "The encrypt library: a fixed, keyless word transform over text.",
    0,
    methods,
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit__encrypt() { return PyModuleDef_Init(&definition); }
