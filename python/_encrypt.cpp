// The Python module on the library's C interface, against Python's stable ABI
// from 3.11 on (the first whose limited API has the buffer protocol), so
// that one build serves every later Python.
#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#  define Py_LIMITED_API 0x030B0000
#endif
#include <Python.h>

#include <encrypt/encrypt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "result_room.hpp"

#ifndef ENCRYPT_VERSION
#  error "ENCRYPT_VERSION names the library's version"
#endif

namespace {

// From this many bytes of work on, other Python threads may run meanwhile:
// below it, giving up and taking back the GIL costs more than the work.
constexpr Py_ssize_t release_gil_from = Py_ssize_t{1} << 16;

// Runs `work`, with the GIL released if asked, so that other Python threads
// run meanwhile; `work` touches no Python object.
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

// A text argument: the bytes of any object with the buffer protocol.
class text_argument {
public:
    text_argument(PyObject* text, const char* function) noexcept {
        if (PyUnicode_Check(text)) {
            PyErr_Format(PyExc_TypeError,
                         "%s() takes bytes, not str: encode the text first, for example "
                         "text.encode('utf-8')",
                         function);
            return;
        }
        if (!PyObject_CheckBuffer(text)) {
            PyObject* type_name = PyType_GetName(Py_TYPE(text));
            PyErr_Format(PyExc_TypeError,
                         "%s() takes a bytes-like object (bytes, bytearray, memoryview), not %U",
                         function, type_name);
            Py_XDECREF(type_name);
            return;
        }
        if (PyObject_GetBuffer(text, &view_, PyBUF_SIMPLE) != 0) {
            // A view with gaps between its items has no bytes in one piece.
            PyErr_Clear();
            PyErr_Format(PyExc_ValueError,
                         "%s() takes a contiguous buffer; copy a strided view first, for "
                         "example bytes(view)",
                         function);
            return;
        }
        held_ = true;
        if (static_cast<unsigned long long>(view_.len) > 0xffffffffULL) {
            PyErr_Format(PyExc_OverflowError,
                         "%s() takes texts of at most 4294967295 bytes, not %zd", function,
                         view_.len);
            return;
        }
        ok_ = true;
    }
    ~text_argument() {
        if (held_) {
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
    bool held_ = false;
    bool ok_ = false;
};

using writer = std::size_t (*)(char* out, const char* text, std::uint32_t length);

// Runs `write` on the text into a buffer of `capacity` bytes and returns
// the first `length - drop` bytes it wrote as a str (every byte is ASCII).
PyObject* ascii_result(const text_argument& text, std::size_t capacity, writer write,
                       std::size_t drop) {
    if (capacity == 0) {
        return PyErr_NoMemory();  // more than this address space holds
    }
    const encrypt::detail::result_room room(capacity);
    char* out = room.data();
    if (out == nullptr) {
        return PyErr_NoMemory();
    }
    const std::size_t length =
        run(text.large(), [&] { return write(out, text.data(), text.length()); });
    return PyUnicode_DecodeASCII(out, static_cast<Py_ssize_t>(length - drop), nullptr);
}

PyObject* hex(PyObject*, PyObject* argument) {
    const text_argument text(argument, "hex");
    if (!text.ok()) {
        return nullptr;
    }
    return ascii_result(text, encrypt_hex_capacity(text.length()), encrypt_hex, 0);
}

PyObject* result_line(PyObject*, PyObject* argument) {
    const text_argument text(argument, "result_line");
    if (!text.ok()) {
        return nullptr;
    }
    // The line without the line feed that ends it.
    return ascii_result(text, encrypt_line_capacity(text.length()), encrypt_line, 1);
}

PyObject* words(PyObject*, PyObject* argument) {
    const text_argument text(argument, "words");
    if (!text.ok()) {
        return nullptr;
    }
    const std::uint32_t length = text.length();
    const std::size_t count = length / 2 + (length & 1u);
    std::uint32_t* encrypted = nullptr;
    if (count != 0) {
        encrypted = run(text.large(), [&] { return encrypt_text(text.data(), length); });
        if (encrypted == nullptr) {
            return PyErr_NoMemory();
        }
    }
    // One copy, into the array's own block: frombytes takes any buffer.
    PyObject* memory = PyMemoryView_FromMemory(reinterpret_cast<char*>(encrypted),
                                               static_cast<Py_ssize_t>(count * 4), PyBUF_READ);
    PyObject* array = PyImport_ImportModule("array");
    PyObject* result = array != nullptr ? PyObject_CallMethod(array, "array", "s", "I") : nullptr;
    PyObject* done = result != nullptr && memory != nullptr
                         ? PyObject_CallMethod(result, "frombytes", "O", memory)
                         : nullptr;
    if (done == nullptr) {
        Py_CLEAR(result);
    }
    Py_XDECREF(done);
    Py_XDECREF(array);
    Py_XDECREF(memory);
    encrypt_free(encrypted);
    return result;
}

// The struct format of 4-byte unsigned words in this machine's byte order.
bool is_word_format(const char* format) {
    if (format == nullptr) {
        return false;  // plain bytes
    }
    const std::uint16_t one = 1;
    unsigned char first_byte = 0;
    std::memcpy(&first_byte, &one, 1);
    const bool little = first_byte == 1;
    const char order = format[0];
    if (order == '@' || order == '=' || order == (little ? '<' : '>') ||
        (order == '!' && !little)) {
        ++format;
    }
    return (format[0] == 'I' || format[0] == 'L') && format[1] == '\0';
}

std::uint32_t* transform(std::uint32_t* words, std::size_t count) {
    std::uint32_t* const first = words;
    while (count > 0) {
        // The C interface counts words in 32 bits.
        const auto part = static_cast<std::uint32_t>(count < 0xffffffffu ? count : 0xffffffffu);
        encrypt_words(words, part);
        words += part;
        count -= part;
    }
    return first;
}

PyObject* encryption(PyObject*, PyObject* argument) {
    if (!PyObject_CheckBuffer(argument)) {
        PyObject* type_name = PyType_GetName(Py_TYPE(argument));
        PyErr_Format(PyExc_TypeError,
                     "encryption() takes a writable buffer of 32-bit unsigned words, such as "
                     "array.array('I') or a NumPy uint32 array, not %U",
                     type_name);
        Py_XDECREF(type_name);
        return nullptr;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(argument, &view, PyBUF_FULL_RO) != 0) {
        return nullptr;
    }
    PyObject* result = nullptr;
    if (view.readonly) {
        PyErr_SetString(PyExc_TypeError,
                        "encryption() transforms words in place and needs a writable buffer, "
                        "not a read-only one");
    } else if (view.itemsize != 4 || !is_word_format(view.format)) {
        PyErr_Format(PyExc_TypeError,
                     "encryption() needs 32-bit unsigned words (format 'I' or 'L' of 4 bytes), "
                     "not format '%s' with %zd-byte items",
                     view.format != nullptr ? view.format : "B", view.itemsize);
    } else if (!PyBuffer_IsContiguous(&view, 'A')) {
        PyErr_SetString(PyExc_ValueError,
                        "encryption() needs the words in one contiguous block, not a strided "
                        "view; transform a contiguous copy");
    } else {
        auto* words = static_cast<std::uint32_t*>(view.buf);
        const std::size_t count = static_cast<std::size_t>(view.len) / sizeof(std::uint32_t);
        run(view.len >= release_gil_from, [&] { return transform(words, count); });
        result = argument;
        Py_INCREF(result);
    }
    PyBuffer_Release(&view);
    return result;
}

PyMethodDef methods[] = {
    {"hex", hex, METH_O,
     "hex(text, /)\n--\n\n"
     "The hex digits that `encrypt TEXT` prints for the text: every word in\n"
     "lowercase hex with no padding (a zero word is '0') and no separator.\n"
     "text is bytes-like (bytes, bytearray, memoryview); a str is refused,\n"
     "since the tool takes bytes: encode it first."},
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
    if (PyModule_AddStringConstant(module, "CAPTION", ENCRYPT_CAPTION) != 0 ||
        PyModule_AddStringConstant(module, "__version__", ENCRYPT_VERSION) != 0) {
        return -1;
    }
    return 0;
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
