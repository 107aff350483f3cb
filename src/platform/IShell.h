#pragma once
#include <memory>
#include <string>

namespace kestrum::platform {

// Starting other programs and opening documents. (Message boxes are the window layer's.)
class IShell {
public:
    virtual ~IShell() = default;
    // Starts the command line (first token names the program), does not wait. False when it could not start.
    virtual bool LaunchProcess(const std::string& commandLine) = 0;
    // Opens a document, folder or web address with its associated program.
    virtual bool OpenDocument(const std::string& target) = 0;
};

std::unique_ptr<IShell> MakeLinuxShell();

} // namespace kestrum::platform
