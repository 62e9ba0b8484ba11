#include "ZQDataLayerRemote/host/ZQDataLayer/ZQMIMETypes.hpp"

#include <cctype>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace {

constexpr const char* kTablePath = "/etc/mime.types";

std::string lowerCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Lines "type ext ext ...", "#" comments; the first type listed for an extension wins.
std::unordered_map<std::string, std::string> readTable() {
    std::unordered_map<std::string, std::string> table;
    std::ifstream in(kTablePath);
    std::string line;
    while (std::getline(in, line)) {
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string type, extension;
        if (!(words >> type)) continue;
        while (words >> extension) table.emplace(lowerCased(extension), type);
    }
    return table;
}

const std::unordered_map<std::string, std::string>& table() {
    static const std::unordered_map<std::string, std::string> loaded = readTable();
    return loaded;
}

}  // namespace

std::string ZQMIMETypes::mimeTypeForPathExtension(std::string_view pathOrURL) {
    std::string_view path = pathOrURL.substr(0, pathOrURL.find_first_of("?#"));
    std::string_view name = path.substr(
        path.find_last_of('/') == std::string_view::npos ? 0 : path.find_last_of('/') + 1);
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) {
        return mimeTypeApplicationOctetStream();
    }
    auto found = table().find(lowerCased(name.substr(dot + 1)));
    return found == table().end() ? mimeTypeApplicationOctetStream() : found->second;
}

const std::string& ZQMIMETypes::mimeTypeApplicationOctetStream() {
    static const std::string type = "application/octet-stream";
    return type;
}
