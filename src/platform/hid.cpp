#include "platform/hid.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace padwright {

std::string MakeInterfaceName(const std::string& node, uint16_t vendorId, uint16_t productId)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "#vid_%04x&pid_%04x", vendorId, productId);
    return node + ids;
}

std::string InterfaceNode(const std::string& name)
{
    std::string node = name.substr(0, name.find('#'));
    std::transform(node.begin(), node.end(), node.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return node;
}

}  // namespace padwright
