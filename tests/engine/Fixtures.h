#pragma once
#include <fstream>
#include <sstream>
#include <string>

namespace kestrum::test {

inline std::string FixturePath(const std::string& name) {
    return std::string(KESTRUM_FIXTURES) + "/engine/" + name;
}

inline std::string ReadFixture(const std::string& name) {
    std::ifstream in(FixturePath(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace kestrum::test
