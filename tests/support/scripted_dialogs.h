#pragma once

#include <optional>
#include <string>

#include "platform/file_dialogs.h"

namespace padwright::test {

// File dialogs that answer with a set path, or cancel when none is set.
class ScriptedDialogs final : public FileDialogs {
public:
    std::optional<std::string> answer;
    int asked = 0;
    std::optional<std::string> SaveFileName() override
    {
        ++asked;
        return answer;
    }
    std::optional<std::string> OpenFileName() override
    {
        ++asked;
        return answer;
    }
};

}  // namespace padwright::test
