#pragma once

// The program's own resources: the numbered string table and embedded binaries
// addressed by type and id ("BINARY" 252, later bitmaps and icons), generated
// into the binary at build time from the files under resources/.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <tuple>

namespace padwright {

// The step at which reaching a binary failed.
enum class ResourceFailure { None, Find, Load, Lock };

class Resources {
public:
    virtual ~Resources() = default;
    // The string with this number; empty when there is none.
    virtual std::string String(int id) const = 0;
    virtual bool HasString(int id) const = 0;
    // Reaches an embedded binary in the platform's three steps (find, load,
    // lock). On success `data` spans the bytes, which live as long as the program.
    virtual ResourceFailure Binary(std::string_view type, int id,
                                   std::span<const uint8_t>& data) const = 0;
};

// The tables built into the program.
const Resources& EmbeddedResources();

// Passes everything through to another provider, except that chosen binaries
// fail at a chosen step; for tests of every failure path.
class FaultyResources final : public Resources {
public:
    explicit FaultyResources(const Resources& base) : base_(base) {}
    void FailAt(std::string_view type, int id, ResourceFailure step);
    // Serves these bytes for a binary in place of the built-in one.
    void Replace(std::string_view type, int id, std::span<const uint8_t> data);

    std::string String(int id) const override { return base_.String(id); }
    bool HasString(int id) const override { return base_.HasString(id); }
    ResourceFailure Binary(std::string_view type, int id,
                           std::span<const uint8_t>& data) const override;

private:
    const Resources& base_;
    std::map<std::tuple<std::string, int>, ResourceFailure> failures_;
    std::map<std::tuple<std::string, int>, std::span<const uint8_t>> replacements_;
};

}  // namespace padwright
