// encrypt.encrypt_lines(), encrypt.decrypt_lines() and the incremental
// LineEncoder and LineDecoder: the library's streams of texts and lines.
#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#  define Py_LIMITED_API 0x030B0000
#endif
#include <Python.h>

#include <encrypt/encrypt.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "large_buffer.hpp"

namespace {

// From this many bytes of input on, other Python threads run meanwhile.
constexpr std::size_t release_gil_from = std::size_t{1} << 16;

// The bytes of a bytes-like argument, held for as long as this lives.
class input_bytes {
public:
    input_bytes(PyObject* data, const char* function) noexcept {
        if (PyUnicode_Check(data)) {
            PyErr_Format(PyExc_TypeError,
                         "%s() takes bytes, not str: encode the text first, for example "
                         "data.encode('utf-8')",
                         function);
        } else if (!PyObject_CheckBuffer(data) ||
                   PyObject_GetBuffer(data, &view_, PyBUF_SIMPLE) != 0) {
            PyErr_Clear();
            PyObject* name = PyType_GetName(Py_TYPE(data));
            PyErr_Format(PyExc_TypeError,
                         "%s() takes a contiguous bytes-like object (bytes, bytearray, "
                         "memoryview), not %U",
                         function, name);
            Py_XDECREF(name);
            view_.obj = nullptr;
        } else {
            ok_ = true;
        }
    }
    ~input_bytes() {
        if (ok_) {
            PyBuffer_Release(&view_);
        }
    }
    input_bytes(const input_bytes&) = delete;
    input_bytes& operator=(const input_bytes&) = delete;

    bool ok() const noexcept { return ok_; }
    const char* data() const noexcept { return static_cast<const char*>(view_.buf); }
    std::size_t size() const noexcept { return static_cast<std::size_t>(view_.len); }

private:
    Py_buffer view_{};
    bool ok_ = false;
};

// The options of a separator argument: b"\n" (the default) or b"\0".
bool separator_option(PyObject* separator, unsigned& options) {
    if (separator == nullptr) {
        return true;
    }
    if (PyBytes_Check(separator) && PyBytes_Size(separator) == 1) {
        const char byte = PyBytes_AsString(separator)[0];
        if (byte == '\n' || byte == '\0') {
            options |= byte == '\0' ? ENCRYPT_LINES_NUL : 0u;
            return true;
        }
    }
    PyErr_SetString(PyExc_ValueError, "separator must be b'\\n' or b'\\0'");
    return false;
}

enum class on_error { strict, skip };

bool errors_option(PyObject* errors, on_error& mode) {
    if (errors == nullptr || PyUnicode_CompareWithASCIIString(errors, "strict") == 0) {
        mode = on_error::strict;
        return true;
    }
    if (PyUnicode_Check(errors) && PyUnicode_CompareWithASCIIString(errors, "skip") == 0) {
        mode = on_error::skip;
        return true;
    }
    PyErr_Clear();
    PyErr_SetString(PyExc_ValueError, "errors must be 'strict' or 'skip'");
    return false;
}

// A bytes object of `size` bytes from `data`, its pages mapped in one call.
PyObject* bytes_of(const char* data, std::size_t size) noexcept {
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (bytes != nullptr) {
        char* into = PyBytes_AsString(bytes);
        encrypt::detail::map_pages_now(into, size);
        std::memcpy(into, data, size);
    }
    return bytes;
}

// Output gathered while a stream runs: a buffer that grows as it fills. A
// stream object keeps its own from call to call, so that its pages stay
// mapped: fresh memory faults in page by page, which on a virtual machine
// can cost more than the work. All zeros is an empty one.
struct output {
    char* data;
    std::size_t size;
    char* next;
    std::size_t space;

    // Starts writing at the beginning, with space for `least` bytes at least;
    // false when the memory cannot be had.
    bool start(std::size_t least) noexcept {
        if (least > size) {
            std::free(data);
            data = static_cast<char*>(std::malloc(least));
            size = data != nullptr ? least : 0;
            encrypt::detail::map_pages_now(data, size);
        }
        next = data;
        space = size;
        return data != nullptr;
    }
    // Twice as much space once it is full; false when the memory cannot be had.
    bool grow() noexcept {
        const auto used = static_cast<std::size_t>(next - data);
        auto* grown = static_cast<char*>(std::realloc(data, 2 * size));
        if (grown == nullptr) {
            return false;
        }
        data = grown;
        size *= 2;
        next = data + used;
        space = size - used;
        encrypt::detail::map_pages_now(next, space);
        return true;
    }
    PyObject* bytes() const noexcept { return bytes_of(data, static_cast<std::size_t>(next - data)); }
    void release() noexcept {
        std::free(data);
        *this = output{};
    }
};

// An output that lives for one call.
struct call_output : output {
    call_output() noexcept : output{} {}
    ~call_output() { release(); }
    call_output(const call_output&) = delete;
    call_output& operator=(const call_output&) = delete;
};

// --- encrypting ---------------------------------------------------------------

// Runs the encoder over `size` bytes at `data`, and with `finish` to the
// end of the input, into `out`; false when memory ran short.
bool encode(encrypt_line_encoder* encoder, const char* data, std::size_t size, bool finish,
            output& out) noexcept {
    for (;;) {
        encrypt_line_encoder_update(encoder, &data, &size, &out.next, &out.space);
        if (size == 0) {
            break;
        }
        if (!out.grow()) {
            return false;
        }
    }
    while (finish && encrypt_line_encoder_finish(encoder, &out.next, &out.space) != ENCRYPT_LINES_END) {
        if (!out.grow()) {
            return false;
        }
    }
    return true;
}

PyObject* encrypt_lines(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"", "separator", "crlf", nullptr};
    PyObject* data = nullptr;
    PyObject* separator = nullptr;
    int crlf = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$Op:encrypt_lines",
                                     const_cast<char**>(keywords), &data, &separator, &crlf)) {
        return nullptr;
    }
    unsigned options = crlf != 0 ? ENCRYPT_LINES_CRLF : 0u;
    const input_bytes texts(data, "encrypt_lines");
    if (!texts.ok() || !separator_option(separator, options)) {
        return nullptr;
    }
    if (texts.size() == 0) {
        return PyBytes_FromStringAndSize("", 0);
    }
    // The whole result in one buffer, mapped at once, then one copy into
    // the bytes object: the encoder never waits for space.
    const std::size_t capacity = encrypt_lines_capacity(texts.data(), texts.size(), options);
    const encrypt::detail::large_buffer buffer(capacity);  // 0: past the address space
    encrypt_line_encoder* encoder = encrypt_line_encoder_new(options);
    if (capacity == 0 || buffer.data() == nullptr || encoder == nullptr) {
        encrypt_line_encoder_free(encoder);
        return PyErr_NoMemory();
    }
    char* next = buffer.data();
    std::size_t space = capacity;
    const char* in = texts.data();
    std::size_t size = texts.size();
    const auto work = [&] {
        encrypt_line_encoder_update(encoder, &in, &size, &next, &space);
        encrypt_line_encoder_finish(encoder, &next, &space);
    };
    if (texts.size() >= release_gil_from) {
        Py_BEGIN_ALLOW_THREADS work();
        Py_END_ALLOW_THREADS
    } else {
        work();
    }
    encrypt_line_encoder_free(encoder);
    return bytes_of(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
}

// --- decrypting ---------------------------------------------------------------

// A decoder's failed line as the exception strict mode raises: MemoryError
// for memory, ValueError for a line with no one text.
void raise_failure(encrypt_line_decoder* decoder, int code) {
    std::uint64_t line = 0;
    const char* reason = encrypt_line_decoder_failure(decoder, &line);
    PyErr_Format(code == ENCRYPT_NO_MEMORY ? PyExc_MemoryError : PyExc_ValueError, "line %llu: %s",
                 static_cast<unsigned long long>(line), reason);
}

// Appends (line, reason) to `failures`; false with an exception set.
bool record_failure(encrypt_line_decoder* decoder, PyObject* failures) {
    std::uint64_t line = 0;
    const char* reason = encrypt_line_decoder_failure(decoder, &line);
    PyObject* entry = Py_BuildValue("(Ks)", static_cast<unsigned long long>(line), reason);
    const bool added = entry != nullptr && PyList_Append(failures, entry) == 0;
    Py_XDECREF(entry);
    return added;
}

// Runs the decoder over `size` bytes at `data`, and with `finish` to the end
// of the input, into `out`. A failed line raises in strict mode; in skip
// mode it goes into `failures` (if not null) and reading goes on. A line
// that fails after part of its text went out stops the stream: in skip mode
// the output up to there is kept, the line listed once, and `stopped` set;
// the input after it is left unread. Memory running short raises in either
// mode. Returns false with an exception set.
bool decode(encrypt_line_decoder* decoder, const char* data, std::size_t size, bool finish,
            on_error mode, PyObject* failures, bool& stopped, output& out) {
    PyThreadState* released = size >= release_gil_from ? PyEval_SaveThread() : nullptr;
    bool recorded = true;
    bool grown = true;
    int result = ENCRYPT_LINES_OK;
    for (;;) {
        if (size != 0) {
            result = encrypt_line_decoder_update(decoder, &data, &size, &out.next, &out.space);
        } else if (finish) {
            result = encrypt_line_decoder_finish(decoder, &out.next, &out.space);
        } else {
            break;
        }
        if (result == ENCRYPT_LINES_END) {
            break;
        }
        if (out.space == 0 && !(grown = out.grow())) {
            break;
        }
        if (result >= 0) {
            continue;
        }
        if (mode == on_error::strict || result == ENCRYPT_NO_MEMORY) {
            break;
        }
        // A stop is listed once; the stream then gives nothing until reset.
        const bool stop = result == ENCRYPT_STOPPED;
        result = ENCRYPT_LINES_OK;
        if (stop && stopped) {
            break;
        }
        if (failures != nullptr) {
            // Python objects are touched with the GIL held.
            if (released != nullptr) {
                PyEval_RestoreThread(released);
            }
            recorded = record_failure(decoder, failures);
            released = released != nullptr ? PyEval_SaveThread() : nullptr;
            if (!recorded) {
                break;
            }
        }
        if (stop) {
            stopped = true;
            break;
        }
    }
    if (released != nullptr) {
        PyEval_RestoreThread(released);
    }
    if (!recorded) {
        return false;
    }
    if (!grown) {
        PyErr_NoMemory();
        return false;
    }
    if (result < 0) {
        raise_failure(decoder, result);
        return false;
    }
    return true;
}

PyObject* decrypt_lines(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"", "separator", "errors", "failures", nullptr};
    PyObject* data = nullptr;
    PyObject* separator = nullptr;
    PyObject* errors = nullptr;
    PyObject* failures = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$OOO:decrypt_lines",
                                     const_cast<char**>(keywords), &data, &separator, &errors,
                                     &failures)) {
        return nullptr;
    }
    unsigned options = 0;
    on_error mode = on_error::strict;
    const input_bytes lines(data, "decrypt_lines");
    if (!lines.ok() || !separator_option(separator, options) || !errors_option(errors, mode)) {
        return nullptr;
    }
    if (failures != Py_None && !PyList_Check(failures)) {
        PyErr_SetString(PyExc_TypeError, "failures must be a list or None");
        return nullptr;
    }
    // Texts never outgrow their lines: a line gives at most a byte for each
    // digit, and a terminator for its line feed.
    call_output out;
    encrypt_line_decoder* decoder = encrypt_line_decoder_new(options);
    if (!out.start(lines.size() + 1) || decoder == nullptr) {
        encrypt_line_decoder_free(decoder);
        return PyErr_NoMemory();
    }
    bool stopped = false;
    const bool decoded = decode(decoder, lines.data(), lines.size(), true, mode,
                                failures != Py_None ? failures : nullptr, stopped, out);
    encrypt_line_decoder_free(decoder);
    return decoded ? out.bytes() : nullptr;
}

// --- LineEncoder and LineDecoder ----------------------------------------------

// One object type for both: the stream, and whether a call is under way in
// another thread while the GIL is released.
struct stream_object {
    PyObject_HEAD
    encrypt_line_encoder* encoder;
    encrypt_line_decoder* decoder;
    unsigned options;
    on_error mode;
    PyObject* failures;  // LineDecoder's list of (line, reason)
    output out;
    bool busy;
    bool stopped;  // LineDecoder: a line failed after part of its text went out
};

stream_object* as_stream(PyObject* self) { return reinterpret_cast<stream_object*>(self); }

// Whether another thread's call is under way on the object, released from
// the GIL: RuntimeError then.
bool in_use(PyObject* self) {
    if (!as_stream(self)->busy) {
        return false;
    }
    PyObject* name = PyType_GetName(Py_TYPE(self));
    PyErr_Format(PyExc_RuntimeError, "this %U is in use by another thread", name);
    Py_XDECREF(name);
    return true;
}

// The stream's next bytes (none for finish()), and the output they make.
PyObject* run_stream(PyObject* self, const char* data, std::size_t size, bool finish) {
    if (in_use(self)) {
        return nullptr;
    }
    stream_object* stream = as_stream(self);
    stream->busy = true;
    // Space for what a chunk makes, and for what waited from the last one;
    // more where a line held back long text.
    output& out = stream->out;
    bool done = false;
    if (!out.start(stream->encoder != nullptr ? encrypt_lines_capacity(data, size, stream->options) + 4096
                                              : size + 4096)) {
        PyErr_NoMemory();
    } else if (stream->encoder != nullptr) {
        if (size >= release_gil_from) {
            Py_BEGIN_ALLOW_THREADS done = encode(stream->encoder, data, size, finish, out);
            Py_END_ALLOW_THREADS
        } else {
            done = encode(stream->encoder, data, size, finish, out);
        }
        if (!done) {
            PyErr_NoMemory();
        }
    } else {
        done = decode(stream->decoder, data, size, finish, stream->mode, stream->failures,
                      stream->stopped, out);
        // finish() ends a stopped stream too: the next call starts a new one.
        if (done && finish && stream->stopped) {
            encrypt_line_decoder_reset(stream->decoder);
            stream->stopped = false;
        }
    }
    // A call that raised ends its stream: the next one starts a new stream,
    // its lines counted from 1, as after finish().
    if (!done && stream->encoder != nullptr) {
        encrypt_line_encoder_reset(stream->encoder);
    } else if (!done) {
        encrypt_line_decoder_reset(stream->decoder);
        stream->stopped = false;
    }
    stream->busy = false;
    return done ? out.bytes() : nullptr;
}

PyObject* not_initialised(PyObject* self) {
    PyObject* name = PyType_GetName(Py_TYPE(self));
    PyErr_Format(PyExc_RuntimeError, "%U.__init__() was not called", name);
    Py_XDECREF(name);
    return nullptr;
}

bool initialised(PyObject* self) {
    const stream_object* stream = as_stream(self);
    return stream->encoder != nullptr || stream->decoder != nullptr;
}

PyObject* stream_update(PyObject* self, PyObject* chunk) {
    if (!initialised(self)) {
        return not_initialised(self);
    }
    stream_object* stream = as_stream(self);
    const input_bytes bytes(chunk, stream->encoder != nullptr ? "LineEncoder.update" : "LineDecoder.update");
    return bytes.ok() ? run_stream(self, bytes.data(), bytes.size(), false) : nullptr;
}

PyObject* stream_finish(PyObject* self, PyObject*) {
    return initialised(self) ? run_stream(self, nullptr, 0, true) : not_initialised(self);
}

int encoder_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"separator", "crlf", nullptr};
    PyObject* separator = nullptr;
    int crlf = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|$Op:LineEncoder", const_cast<char**>(keywords),
                                     &separator, &crlf)) {
        return -1;
    }
    unsigned options = crlf != 0 ? ENCRYPT_LINES_CRLF : 0u;
    if (!separator_option(separator, options)) {
        return -1;
    }
    if (in_use(self)) {
        return -1;
    }
    stream_object* stream = as_stream(self);
    encrypt_line_encoder_free(stream->encoder);
    stream->options = options;
    stream->encoder = encrypt_line_encoder_new(options);
    if (stream->encoder == nullptr) {
        PyErr_NoMemory();
        return -1;
    }
    return 0;
}

int decoder_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"separator", "errors", nullptr};
    PyObject* separator = nullptr;
    PyObject* errors = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|$OO:LineDecoder", const_cast<char**>(keywords),
                                     &separator, &errors)) {
        return -1;
    }
    unsigned options = 0;
    stream_object* stream = as_stream(self);
    if (!separator_option(separator, options) || !errors_option(errors, stream->mode)) {
        return -1;
    }
    if (in_use(self)) {
        return -1;
    }
    PyObject* failures = PyList_New(0);
    if (failures == nullptr) {
        return -1;
    }
    Py_XDECREF(stream->failures);
    stream->failures = failures;
    encrypt_line_decoder_free(stream->decoder);
    stream->options = options;
    stream->stopped = false;
    stream->decoder = encrypt_line_decoder_new(options);
    if (stream->decoder == nullptr) {
        PyErr_NoMemory();
        return -1;
    }
    return 0;
}

int stream_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_stream(self)->failures);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int stream_clear(PyObject* self) {
    Py_CLEAR(as_stream(self)->failures);
    return 0;
}

void stream_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    stream_object* stream = as_stream(self);
    encrypt_line_encoder_free(stream->encoder);
    encrypt_line_decoder_free(stream->decoder);
    stream->out.release();
    Py_CLEAR(stream->failures);
    PyTypeObject* type = Py_TYPE(self);
    auto* release = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    release(self);
    Py_DECREF(type);
}

PyObject* decoder_failures(PyObject* self, void*) {
    PyObject* failures = as_stream(self)->failures;
    if (failures == nullptr) {
        return not_initialised(self);
    }
    Py_INCREF(failures);
    return failures;
}

PyMethodDef encoder_methods[] = {
    {"update", stream_update, METH_O,
     "update(chunk, /)\n--\n\n"
     "Takes the next bytes of the stream of texts, cut anywhere, and returns\n"
     "the lines ready so far."},
    {"finish", stream_finish, METH_NOARGS,
     "finish()\n--\n\n"
     "Ends the stream and returns the rest of its lines: a last text without\n"
     "a separator gets its line too. The encoder is then ready for a new\n"
     "stream."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef decoder_methods[] = {
    {"update", stream_update, METH_O,
     "update(chunk, /)\n--\n\n"
     "Takes the next bytes of the stream of result lines, cut anywhere, and\n"
     "returns the texts decided so far, each followed by the separator."},
    {"finish", stream_finish, METH_NOARGS,
     "finish()\n--\n\n"
     "Ends the stream and returns the rest of its texts: a last line without\n"
     "a line feed is read too. The decoder is then ready for a new stream,\n"
     "its lines counted from 1 again."},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* decoder_stopped(PyObject* self, void*) {
    return PyBool_FromLong(as_stream(self)->stopped ? 1 : 0);
}

PyGetSetDef decoder_getset[] = {
    {"failures", decoder_failures, nullptr,
     "The failed lines so far with errors='skip', as (line number, reason).", nullptr},
    {"stopped", decoder_stopped, nullptr,
     "Whether a line that failed after part of its text was returned stopped\n"
     "the stream (errors='skip'): nothing more comes out until finish().",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot encoder_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "LineEncoder(*, separator=b'\\n', crlf=False)\n--\n\n"
                    "Texts in, their result lines out, a chunk at a time: what encrypt-lines\n"
                    "writes. Texts end at the separator, b'\\n' or b'\\0'; with crlf, a\n"
                    "carriage return before a line feed ends the text too.")},
    {Py_tp_init, reinterpret_cast<void*>(encoder_init)},
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(stream_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(stream_clear)},
    {Py_tp_methods, encoder_methods},
    {0, nullptr},
};

PyType_Slot decoder_slots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "LineDecoder(*, separator=b'\\n', errors='strict')\n--\n\n"
                    "Result lines in, their texts out, each followed by the separator, a\n"
                    "chunk at a time: what encrypt-lines -d writes. With errors='strict' a\n"
                    "line with no one text raises ValueError('line N: reason'); with\n"
                    "'skip' it is left out and listed in failures. A line that fails after\n"
                    "part of its text went out stops the stream: ValueError in strict mode;\n"
                    "with 'skip' the call returns the texts up to there, the line is listed,\n"
                    "stopped turns true, and nothing more comes out until finish(). Memory\n"
                    "running short raises MemoryError. A call that raised ends its stream;\n"
                    "the next call starts a new one.")},
    {Py_tp_init, reinterpret_cast<void*>(decoder_init)},
    {Py_tp_dealloc, reinterpret_cast<void*>(stream_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(stream_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(stream_clear)},
    {Py_tp_methods, decoder_methods},
    {Py_tp_getset, decoder_getset},
    {0, nullptr},
};

PyType_Spec encoder_spec = {"encrypt.LineEncoder", sizeof(stream_object), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, encoder_slots};
PyType_Spec decoder_spec = {"encrypt.LineDecoder", sizeof(stream_object), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, decoder_slots};

}  // namespace

PyMethodDef lines_methods[] = {
    {"encrypt_lines", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(encrypt_lines)),
     METH_VARARGS | METH_KEYWORDS,
     "encrypt_lines(data, /, *, separator=b'\\n', crlf=False)\n--\n\n"
     "The result line of every text in data, as bytes: what encrypt-lines\n"
     "writes for it. Texts end at the separator, b'\\n' or b'\\0'; the last\n"
     "needs none."},
    {"decrypt_lines", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decrypt_lines)),
     METH_VARARGS | METH_KEYWORDS,
     "decrypt_lines(data, /, *, separator=b'\\n', errors='strict', failures=None)\n--\n\n"
     "The text of every result line in data, each followed by the separator:\n"
     "what encrypt-lines -d writes. With errors='strict' a line with no one\n"
     "text raises ValueError('line N: reason'). With errors='skip' it is left\n"
     "out, and (N, reason) is appended to the list failures if one is given;\n"
     "a line that fails after part of its text went out ends the output\n"
     "there, as nothing may follow it, and is listed too. Memory running short\n"
     "raises MemoryError."},
    {nullptr, nullptr, 0, nullptr},
};

// Adds LineEncoder and LineDecoder to the module.
int add_line_types(PyObject* module) {
    PyObject* encoder = PyType_FromModuleAndSpec(module, &encoder_spec, nullptr);
    PyObject* decoder = PyType_FromModuleAndSpec(module, &decoder_spec, nullptr);
    const bool added = encoder != nullptr && decoder != nullptr &&
                       PyModule_AddObjectRef(module, "LineEncoder", encoder) == 0 &&
                       PyModule_AddObjectRef(module, "LineDecoder", decoder) == 0;
    Py_XDECREF(encoder);
    Py_XDECREF(decoder);
    return added ? 0 : -1;
}
