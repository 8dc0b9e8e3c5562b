#include "errors.h"

#include "session.h"

#include <host/session/file_probe.h>
#include <host/session/plugin.h>
#include <host/session/read_failure.h>
#include <host/session/utf8_text.h>

#include <ds/messages.h>

#include <pal/exception.h>

#include <pybind11/eval.h>

#include <stdexcept>
#include <string>

namespace py = pybind11;

namespace orvopy {

namespace {

// The exception classes, made once in Python so that the OSError kinds
// keep their own attributes (errno, filename) and every kind prints the
// whole sentence. Never freed, as the module's other static objects.
struct ErrorTypes {
    PyObject* error = nullptr;
    PyObject* missing = nullptr;
    PyObject* folder = nullptr;
    PyObject* unreadable = nullptr;
};
ErrorTypes types;

constexpr const char* ERROR_CLASSES = R"(
class Error(Exception):
    """A failure the plug-in or the host reported.

    str(e) is the whole sentence, ending with the status code in hex for the
    plug-in's errors. code is that status code, message_id the message
    identifier and message_name its name ("FILE_REFUSED_BECAUSE"), arguments
    its arguments, file the file it is about; for other failures they are
    None, None, None, () and None."""

    code = None
    message_id = None
    message_name = None
    arguments = ()
    file = None
    sentence = ""

    def __str__(self):
        return self.sentence or Exception.__str__(self)


class MissingFileError(Error, FileNotFoundError):
    """The file does not exist: an orvo.Error and a FileNotFoundError."""


class FolderError(Error, IsADirectoryError):
    """The path is a folder: an orvo.Error and an IsADirectoryError."""


class UnreadableFileError(Error, PermissionError):
    """The file may not be read: an orvo.Error and a PermissionError."""
)";

void raise_error(PyObject* type, py::object error, const std::string& sentence, py::object code,
                 py::object message_id, py::tuple arguments, py::object file) {
    error.attr("sentence") = sentence;
    error.attr("code") = std::move(code);
    error.attr("message_id") = message_id;
    error.attr("message_name") =
        message_id.is_none()
            ? py::object(py::none())
            : py::object(py::str(orvohost::message_name(message_id.cast<std::uint32_t>())));
    error.attr("arguments") = std::move(arguments);
    error.attr("file") = std::move(file);
    PyErr_SetObject(type, error.ptr());
}

void raise_app_error(const PAL::AppError& e) {
    py::tuple arguments(e.message.args.size());
    for (std::size_t i = 0; i < e.message.args.size(); ++i)
        arguments[i] = py::str(orvohost::utf8(e.message.args[i]));
    const std::string sentence = orvohost::failure_sentence(Session::get().catalog(), e);
    const auto* failure = dynamic_cast<const orvohost::ReadFailure*>(&e);
    py::object file = failure ? py::object(py::str(failure->file.string())) : py::none();
    PyObject* type = types.error;
    py::object error;
    // A path that is no file raises what Python raises for it, and is an
    // orvo.Error too.
    if (failure && e.code == orvoeng::msg::FILE_REFUSED.code) {
        if (const auto problem = orvohost::path_problem(failure->file)) {
            type = problem->kind == orvohost::PathProblem::MISSING      ? types.missing
                   : problem->kind == orvohost::PathProblem::FOLDER     ? types.folder
                   : problem->kind == orvohost::PathProblem::UNREADABLE ? types.unreadable
                                                                        : types.error;
            if (type != types.error)
                error = py::reinterpret_borrow<py::object>(type)(
                    problem->error, std::generic_category().message(problem->error), file);
        }
    }
    if (!error)
        error = py::reinterpret_borrow<py::object>(type)(sentence);
    raise_error(type, std::move(error), sentence, py::int_(e.code), py::int_(e.message.id),
                std::move(arguments), std::move(file));
}

void raise_plain(const std::string& sentence) {
    raise_error(types.error, py::reinterpret_borrow<py::object>(types.error)(sentence), sentence,
                py::none(), py::none(), py::tuple(), py::none());
}

} // namespace

void register_errors(py::module_& module) {
    py::dict scope;
    scope["__name__"] = "orvo";
    py::exec(ERROR_CLASSES, scope);
    types.error = py::object(scope["Error"]).release().ptr();
    types.missing = py::object(scope["MissingFileError"]).release().ptr();
    types.folder = py::object(scope["FolderError"]).release().ptr();
    types.unreadable = py::object(scope["UnreadableFileError"]).release().ptr();
    module.add_object("Error", py::handle(types.error));
    module.add_object("MissingFileError", py::handle(types.missing));
    module.add_object("FolderError", py::handle(types.folder));
    module.add_object("UnreadableFileError", py::handle(types.unreadable));

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            std::rethrow_exception(thrown);
        } catch (const PAL::AppError& e) {
            raise_app_error(e);
        } catch (const PAL::Exception& e) {
            raise_plain(orvohost::utf8(e.description()));
        } catch (const orvohost::HostError& e) {
            raise_plain(e.what());
        } catch (const std::logic_error& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
}

} // namespace orvopy
