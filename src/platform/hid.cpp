#include "platform/hid.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace padwright {

std::string InterfaceIds(uint16_t vendorId, uint16_t productId)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendorId, productId);
    return ids;
}

std::string MakeInterfaceName(const std::string& node, uint16_t vendorId, uint16_t productId)
{
    return node + "#" + InterfaceIds(vendorId, productId);
}

std::string InterfaceNode(const std::string& name)
{
    return ToLowerAscii(name.substr(0, name.find('#')));
}

bool IsHidrawNode(const std::string& node)
{
    static const std::string prefix = "/dev/hidraw";
    if (node.size() <= prefix.size() || node.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(node.begin() + static_cast<long>(prefix.size()), node.end(),
                       [](unsigned char c) { return c >= '0' && c <= '9'; });
}

}  // namespace padwright
