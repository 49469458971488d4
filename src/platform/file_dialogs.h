#pragma once

#include <optional>
#include <string>

namespace padwright {

// The platform's standard file dialogs: no default extension, name or filter;
// saving asks before overwriting. Empty when the user cancels.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<std::string> SaveFileName() = 0;
    virtual std::optional<std::string> OpenFileName() = 0;
};

}  // namespace padwright
