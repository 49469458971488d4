#include "platform/resources.h"

#include <algorithm>
#include <cstddef>

// The tables written at build time by tools/embed_resources (resources_data.cpp in
// the build tree). String ids ascend; binaries are ordered by type, then id.
namespace padwright::resource_tables {
extern const std::size_t kStringCount;
extern const int kStringIds[];
extern const std::string_view kStringTexts[];
extern const std::size_t kBinaryCount;
extern const std::string_view kBinaryTypes[];
extern const int kBinaryIds[];
extern const std::span<const std::uint8_t> kBinaryData[];
}  // namespace padwright::resource_tables

namespace padwright {
namespace {

namespace tables = resource_tables;

class BuiltInResources final : public Resources {
public:
    std::string String(int id) const override
    {
        const std::string_view* text = Find(id);
        return text ? std::string(*text) : std::string();
    }

    bool HasString(int id) const override { return Find(id) != nullptr; }

    ResourceFailure Binary(std::string_view type, int id,
                           std::span<const uint8_t>& data) const override
    {
        // The tables are small; a straight scan keeps the generated layout simple.
        for (std::size_t i = 0; i < tables::kBinaryCount; ++i) {
            if (tables::kBinaryIds[i] == id && tables::kBinaryTypes[i] == type) {
                data = tables::kBinaryData[i];
                return ResourceFailure::None;
            }
        }
        data = {};
        return ResourceFailure::Find;
    }

private:
    static const std::string_view* Find(int id)
    {
        const int* end = tables::kStringIds + tables::kStringCount;
        const int* at = std::lower_bound(tables::kStringIds, end, id);
        if (at == end || *at != id) return nullptr;
        return &tables::kStringTexts[at - tables::kStringIds];
    }
};

}  // namespace

const Resources& EmbeddedResources()
{
    static const BuiltInResources resources;
    return resources;
}

void FaultyResources::FailAt(std::string_view type, int id, ResourceFailure step)
{
    const auto key = std::make_tuple(std::string(type), id);
    if (step == ResourceFailure::None)
        failures_.erase(key);
    else
        failures_[key] = step;
}

void FaultyResources::Replace(std::string_view type, int id, std::span<const uint8_t> data)
{
    replacements_[std::make_tuple(std::string(type), id)] = data;
}

ResourceFailure FaultyResources::Binary(std::string_view type, int id,
                                        std::span<const uint8_t>& data) const
{
    const auto key = std::make_tuple(std::string(type), id);
    // A chosen failure wins over replacement bytes: the loader never sees the data
    // of a step that failed.
    if (const auto f = failures_.find(key); f != failures_.end()) {
        data = {};
        return f->second;
    }
    if (const auto r = replacements_.find(key); r != replacements_.end()) {
        data = r->second;
        return ResourceFailure::None;
    }
    return base_.Binary(type, id, data);
}

}  // namespace padwright
