#pragma once
// The files a directory command works on, in list order.

#include <cstddef>
#include <string>

class ListedFiles {
public:
    virtual ~ListedFiles() = default;
    virtual std::size_t Count() const = 0;
    virtual const std::string& Entry(std::size_t i) const = 0;
};
