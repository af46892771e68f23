// vkt2._vkt2: libvkt2's whole-file calls for Python. Inputs come through the buffer protocol and
// the GIL is released while a file is tested, decoded or encoded.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "vkt2/vkt2.h"

namespace {

constexpr int last_code = VKT2_ERROR_CUT_SHORT;

// vkt2.Error and its subclasses, indexed by the library's code (0 is the base class).
PyObject* error_classes[last_code + 1];

struct error_row {
    int code;
    const char* name;  // qualified, for PyErr_NewException
    const char* doc;
};

const error_row error_rows[] = {
    {VKT2_ERROR_NOT_VKT2, "vkt2.NotVkt2Error", "The data does not start with \"VKT2\"."},
    {VKT2_ERROR_STREAM_PAST_LIMIT, "vkt2.StreamPastLimitError",
     "The stream needs bytes past the first 65,536; it cannot be decoded."},
    {VKT2_ERROR_TOO_LARGE, "vkt2.TooLargeError",
     "Over 65,535 bytes to compress, or over 65,536 once compressed."},
    {VKT2_ERROR_DST_TOO_SMALL, "vkt2.BufferTooSmallError",
     "The library's destination was too small; this package sizes its own, so it is never "
     "raised."},
    {VKT2_ERROR_NO_MEMORY, "vkt2.NoMemoryError", "No memory for the work space of a call."},
    {VKT2_ERROR_INVALID_ARGUMENT, "vkt2.InvalidArgumentError",
     "The library refused its arguments."},
    {VKT2_ERROR_HEADER_CUT_SHORT, "vkt2.HeaderCutShortError",
     "The file ends inside its 8-byte header."},
    {VKT2_ERROR_CUT_SHORT, "vkt2.CutShortError", "The file ends before its stream does."},
};

// Every error raised carries its code on the instance too, so a code without a class of its
// own (from a newer library) still reaches the caller.
PyObject* raise(int code, const std::string& message) {
    PyObject* type = code > 0 && code <= last_code ? error_classes[code] : error_classes[0];
    PyObject* error = PyObject_CallFunction(type, "s", message.c_str());
    PyObject* number = error ? PyLong_FromLong(code) : nullptr;
    if (number && PyObject_SetAttrString(error, "code", number) == 0) PyErr_SetObject(type, error);
    Py_XDECREF(number);
    Py_XDECREF(error);
    return nullptr;
}

// The library's words for a verdict, as `vkt2 t` prints them after "vkt2: NAME: ".
std::string words(const vkt2_verdict& v) {
    std::string text(vkt2_verdict_text(&v, nullptr, 0), '\0');
    vkt2_verdict_text(&v, text.data(), text.size() + 1);
    return text;
}

vkt2_verdict empty_verdict() {
    vkt2_verdict v{};
    v.struct_size = sizeof v;
    return v;
}

// Holds a read-only view of any buffer-protocol object for the length of one call.
struct input {
    Py_buffer view{};
    ~input() {
        if (view.obj) PyBuffer_Release(&view);
    }
    const void* data() const { return view.buf; }
    std::size_t size() const { return static_cast<std::size_t>(view.len); }
};

// The one argument `data`, by position or by keyword, as a read-only view.
bool take_data(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* function,
               input& in) {
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nargs + nkw != 1 ||
        (nkw && PyUnicode_CompareWithASCIIString(PyTuple_GET_ITEM(kwnames, 0), "data") != 0)) {
        PyErr_Format(PyExc_TypeError, "%s() takes one argument, data", function);
        return false;
    }
    return PyObject_GetBuffer(args[0], &in.view, PyBUF_SIMPLE) == 0;
}

// What decompress works on: its own copy of the bytes that count, taken with the GIL released.
// Another thread (or process, through a shared mapping) may write the caller's buffer at any
// time; the header, the verdict and the decode must all see one and the same file.
struct snapshot {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    std::size_t decoded = 0;  // what its header states
    bool vkt2 = false;

    bool take(const input& in) {
        size = std::min<std::size_t>(in.size(), VKT2_MAX_FILE_SIZE);
        bytes.reset(new (std::nothrow) std::uint8_t[std::max<std::size_t>(size, 1)]);
        if (!bytes) return false;
        if (size) std::memcpy(bytes.get(), in.data(), size);
        vkt2 = vkt2_decoded_size(bytes.get(), size, &decoded) == VKT2_OK;
        return true;
    }
};

int decode(const snapshot& s, bool zero_fill, PyObject* out, vkt2_verdict& v) {
    const auto room = static_cast<std::size_t>(PyBytes_GET_SIZE(out));
    std::size_t written = 0;
    const int rc = vkt2_decompress_ex(s.bytes.get(), s.size, PyBytes_AS_STRING(out), room, &written,
                                      zero_fill ? VKT2_ZERO_FILL : 0u);
    // Only a refusal pays for the tester's walk, which says how much is missing.
    if (rc != VKT2_OK) vkt2_test(s.bytes.get(), s.size, &v);
    return rc == VKT2_OK && written != room ? VKT2_ERROR_DST_TOO_SMALL : rc;
}

PyObject* py_decompress(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"data", "zero_fill", nullptr};
    input in;
    int zero_fill = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "y*|$p:decompress", const_cast<char**>(keywords),
                                     &in.view, &zero_fill))
        return nullptr;
    // The output is sized by the header as it reads now, so that the common case releases the
    // GIL once; the decode runs only if the snapshot's header says the same.
    std::size_t size = 0;
    if (vkt2_decoded_size(in.data(), in.size(), &size) != VKT2_OK)
        return raise(VKT2_ERROR_NOT_VKT2, vkt2_error_name(VKT2_ERROR_NOT_VKT2));
    PyObject* out = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (!out) return nullptr;
    snapshot s;
    vkt2_verdict verdict = empty_verdict();
    int rc = VKT2_OK;
    Py_BEGIN_ALLOW_THREADS;
    rc = !s.take(in)         ? VKT2_ERROR_NO_MEMORY
         : !s.vkt2           ? VKT2_ERROR_NOT_VKT2
         : s.decoded != size ? VKT2_OK  // rewritten since: sized again below
                             : decode(s, zero_fill, out, verdict);
    Py_END_ALLOW_THREADS;
    if (rc == VKT2_OK && s.decoded != size) {
        Py_SETREF(out, PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(s.decoded)));
        if (!out) return nullptr;
        Py_BEGIN_ALLOW_THREADS;
        rc = decode(s, zero_fill, out, verdict);
        Py_END_ALLOW_THREADS;
    }
    if (rc != VKT2_OK) {
        Py_DECREF(out);
        return raise(rc, verdict.error == rc ? words(verdict) : vkt2_error_name(rc));
    }
    return out;
}

PyObject* py_compress(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    input in;
    if (!take_data(args, nargs, kwnames, "compress", in)) return nullptr;
    if (in.size() > VKT2_MAX_ORIGINAL_SIZE)
        return raise(VKT2_ERROR_TOO_LARGE, "too large: VKT2 holds at most 65,535 bytes");
    const std::size_t bound = vkt2_compress_bound(in.size());
    PyObject* out = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bound));
    if (!out) return nullptr;
    int rc = VKT2_OK;
    std::size_t written = 0;
    Py_BEGIN_ALLOW_THREADS;
    // The encoder reads its input more than once (matches, then literals): it works on a copy,
    // so that a buffer rewritten meanwhile still gives the file of one of its states.
    std::unique_ptr<std::uint8_t[]> copy{new (std::nothrow)
                                             std::uint8_t[std::max<std::size_t>(in.size(), 1)]};
    if (!copy) {
        rc = VKT2_ERROR_NO_MEMORY;
    } else {
        if (in.size()) std::memcpy(copy.get(), in.data(), in.size());
        rc = vkt2_compress(copy.get(), in.size(), PyBytes_AS_STRING(out), bound, &written);
    }
    Py_END_ALLOW_THREADS;
    if (rc != VKT2_OK) {
        Py_DECREF(out);
        return raise(rc, rc == VKT2_ERROR_TOO_LARGE ? "does not fit in 65,536 bytes once compressed"
                                                    : vkt2_error_name(rc));
    }
    if (_PyBytes_Resize(&out, static_cast<Py_ssize_t>(written)) < 0) return nullptr;
    return out;
}

PyObject* py_test(PyObject*, PyObject* arg) {
    input in;
    if (PyObject_GetBuffer(arg, &in.view, PyBUF_SIMPLE) < 0) return nullptr;
    vkt2_verdict v = empty_verdict();
    Py_BEGIN_ALLOW_THREADS;
    vkt2_test(in.data(), in.size(), &v);
    Py_END_ALLOW_THREADS;
    // A failure is one line; a pass has a line per warning, which Python gives without
    // "warning: ".
    const std::string text = words(v);
    const bool fails = v.verdict == VKT2_VERDICT_FAIL;
    PyObject* warnings = PyList_New(0);
    for (std::size_t at = 0; warnings && !fails && at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const std::size_t skip = line.rfind("warning: ", 0) == 0 ? 9 : 0;
        PyObject* item = PyUnicode_FromStringAndSize(line.data() + skip,
                                                     static_cast<Py_ssize_t>(line.size() - skip));
        if (!item || PyList_Append(warnings, item) < 0) Py_CLEAR(warnings);
        Py_XDECREF(item);
        at = end + 1;
    }
    if (!warnings) return nullptr;
    PyObject* listed = warnings;
    warnings = PyList_AsTuple(listed);
    Py_DECREF(listed);
    if (!warnings) return nullptr;
    auto n = [](std::size_t count) { return static_cast<Py_ssize_t>(count); };
    PyObject* fields = Py_BuildValue("iisOnnnnnn", v.verdict, v.error, fails ? text.c_str() : "",
                                     warnings, n(v.file_size), n(v.decoded_size), n(v.stream_used),
                                     n(v.bytes_missing), n(v.bytes_unused), n(v.bytes_ignored));
    Py_DECREF(warnings);
    return fields;
}

PyObject* py_decoded_size(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    input in;
    if (!take_data(args, nargs, kwnames, "decoded_size", in)) return nullptr;
    std::size_t size = 0;
    if (vkt2_decoded_size(in.data(), in.size(), &size) != VKT2_OK)
        return raise(VKT2_ERROR_NOT_VKT2, vkt2_error_name(VKT2_ERROR_NOT_VKT2));
    return PyLong_FromSize_t(size);
}

const char decompress_doc[] =
    "decompress($module, data, *, zero_fill=False)\n--\n\n"
    "Decodes a VKT2 file by the loader's rules, as `vkt2 cat` does.\n\n"
    "A file that fails vkt2.test() raises that failure's Error subclass. With zero_fill=True,\n"
    "a file cut short decodes as vkt2x decodes it, zero bytes where the file ends early; only\n"
    "NotVkt2Error and StreamPastLimitError remain. Bytes past the first 65,536 are ignored.";
const char compress_doc[] =
    "compress($module, data)\n--\n\n"
    "Returns the whole VKT2 file for data (at most 65,535 bytes): the same bytes vkt2c "
    "writes.\n\nTooLargeError when data is longer, or when it would not fit in 65,536 bytes.";
const char test_doc[] =
    "test($module, data, /)\n--\n\n"
    "The library's verdict as a tuple; vkt2.test() wraps it in a Verdict.";
const char decoded_size_doc[] =
    "decoded_size($module, data)\n--\n\n"
    "The decoded size the header states, its missing bytes read as zero.\n\n"
    "NotVkt2Error when data does not start with \"VKT2\".";

// The method table's one pointer type, whatever the calling convention.
template <typename F>
PyCFunction as_method(F* f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef methods[] = {
    {"decompress", as_method(py_decompress), METH_VARARGS | METH_KEYWORDS, decompress_doc},
    {"compress", as_method(py_compress), METH_FASTCALL | METH_KEYWORDS, compress_doc},
    {"test", py_test, METH_O, test_doc},
    {"decoded_size", as_method(py_decoded_size), METH_FASTCALL | METH_KEYWORDS, decoded_size_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module = {PyModuleDef_HEAD_INIT,
                      "vkt2._vkt2",
                      "libvkt2 compiled in; use the vkt2 package.",
                      -1,
                      methods,
                      nullptr,
                      nullptr,
                      nullptr,
                      nullptr};

// Makes vkt2.Error and one subclass per code, each with its code as the class attribute `code`.
bool add_errors(PyObject* m) {
    // `code` is 0 only on an Error the library did not raise.
    PyObject* base_dict = Py_BuildValue("{si}", "code", 0);
    error_classes[0] =
        base_dict ? PyErr_NewExceptionWithDoc(
                        "vkt2.Error",
                        "Base class of every error the library reports; `code` is its code.",
                        nullptr, base_dict)
                  : nullptr;
    Py_XDECREF(base_dict);
    if (!error_classes[0] || PyModule_AddObjectRef(m, "Error", error_classes[0]) < 0) return false;
    for (const error_row& e : error_rows) {
        PyObject* extra = e.code == VKT2_ERROR_NO_MEMORY          ? PyExc_MemoryError
                          : e.code == VKT2_ERROR_INVALID_ARGUMENT ? PyExc_ValueError
                                                                  : nullptr;
        PyObject* bases =
            extra ? PyTuple_Pack(2, error_classes[0], extra) : PyTuple_Pack(1, error_classes[0]);
        PyObject* dict = Py_BuildValue("{si}", "code", e.code);
        PyObject* type =
            bases && dict ? PyErr_NewExceptionWithDoc(e.name, e.doc, bases, dict) : nullptr;
        Py_XDECREF(bases);
        Py_XDECREF(dict);
        if (!type) return false;
        error_classes[e.code] = type;
        if (PyModule_AddObjectRef(m, e.name + 5, type) < 0) return false;
    }
    return true;
}

}  // namespace

PyMODINIT_FUNC PyInit__vkt2() {
    PyObject* m = PyModule_Create(&module);
    if (!m) return nullptr;
    if (!add_errors(m) || PyModule_AddStringConstant(m, "version", vkt2_version_string()) < 0 ||
        PyModule_AddIntConstant(m, "MAX_ORIGINAL_SIZE", VKT2_MAX_ORIGINAL_SIZE) < 0 ||
        PyModule_AddIntConstant(m, "MAX_FILE_SIZE", VKT2_MAX_FILE_SIZE) < 0) {
        Py_DECREF(m);
        return nullptr;
    }
    return m;
}
