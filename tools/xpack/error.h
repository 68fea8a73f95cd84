// The one failure type of the packer: its text names the file and the reason
// and is shown as is, after the program name.
#pragma once
#include <stdexcept>
#include <string>

namespace xpack {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string &what) : std::runtime_error(what) {}
};

}  // namespace xpack
