#include "ExceptionReport.h"

#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

std::string FormatExceptionReport(const std::exception& exception) {
    const char* mangled = typeid(exception).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), free);
    std::string type = status == 0 && demangled ? demangled.get() : mangled;
    if (type.compare(0, 6, "class ") == 0) type.erase(0, 6);

    std::string report = "An unhandled exception of type '" + type + "' occurred";
    const char* message = exception.what();
    if (message && *message) {
        report += "\n\nAdditional information: ";
        report += message;
    }
    return report;
}
