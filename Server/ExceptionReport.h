#pragma once
#include <exception>
#include <string>

// The report of an exception that escaped the entry point: "An unhandled exception of type '...'
// occurred" with its message.
std::string FormatExceptionReport(const std::exception& exception);
