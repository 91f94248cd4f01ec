#include "platform/ErrorDisplay.h"

#include <cstdio>
#include <stdexcept>

namespace tessek {

namespace {

ErrorDisplay& Current()
{
    static ErrorDisplay display = [](const std::string& message) {
        std::fprintf(stderr, "Tessek: %s\n", message.c_str());
    };
    return display;
}

}  // namespace

ErrorDisplay SetErrorDisplay(ErrorDisplay display)
{
    ErrorDisplay old = std::move(Current());
    Current() = std::move(display);
    return old;
}

void ShowError(const std::string& message)
{
    if (Current())
        Current()(message);
}

std::string ErrorMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace tessek
