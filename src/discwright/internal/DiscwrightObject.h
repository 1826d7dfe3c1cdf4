#pragma once

namespace torvinel {

// What every library handle points to: a drive handle or a file tree.
struct DiscwrightObject {
    virtual ~DiscwrightObject() = default;
};

} // namespace torvinel
