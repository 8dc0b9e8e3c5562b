#include "errors.h"

#include "session.h"

#include <plugin.h>
#include <text.h>

#include <pal/exception.h>

#include <stdexcept>
#include <string>

namespace py = pybind11;

namespace orvopy {

namespace {

PyObject* error_type = nullptr;

void raise_error(const std::string& sentence, py::object code, py::object message_id,
                 py::tuple arguments) {
    py::object error = py::reinterpret_borrow<py::object>(error_type)(sentence);
    error.attr("code") = std::move(code);
    error.attr("message_id") = std::move(message_id);
    error.attr("arguments") = std::move(arguments);
    PyErr_SetObject(error_type, error.ptr());
}

void raise_app_error(const PAL::AppError& e) {
    py::tuple arguments(e.message.args.size());
    for (std::size_t i = 0; i < e.message.args.size(); ++i)
        arguments[i] = py::str(orvohost::utf8(e.message.args[i]));
    raise_error(Session::get().catalog().sentence(e.message), py::int_(e.code),
                py::int_(e.message.id), std::move(arguments));
}

} // namespace

void register_errors(py::module_& module) {
    error_type = PyErr_NewExceptionWithDoc(
        "orvo.Error",
        "A failure the plug-in or the host reported.\n\n"
        "str(e) is the catalog's sentence. For the plug-in's errors, code is the\n"
        "status code, message_id the message identifier and arguments its\n"
        "arguments; for other failures they are None, None and ().",
        PyExc_Exception, nullptr);
    module.add_object("Error", py::handle(error_type));

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            std::rethrow_exception(thrown);
        } catch (const PAL::AppError& e) {
            raise_app_error(e);
        } catch (const PAL::Exception& e) {
            raise_error(orvohost::utf8(e.description()), py::none(), py::none(), py::tuple());
        } catch (const orvohost::HostError& e) {
            raise_error(e.what(), py::none(), py::none(), py::tuple());
        } catch (const std::logic_error& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
}

} // namespace orvopy
