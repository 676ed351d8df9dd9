#include "SalvoFile.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>

namespace salvofile {

namespace {

void Put(std::string& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int b = 0; b < 4; ++b)
        out.push_back(static_cast<char>((u >> (8 * b)) & 0xFF));
}

std::int32_t Get(const std::string& in, std::size_t at) {
    std::uint32_t u = 0;
    for (int b = 0; b < 4; ++b)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + b])) << (8 * b);
    return static_cast<std::int32_t>(u);
}

bool Fail(std::string* why, const std::string& text) {
    if (why)
        *why = text;
    return false;
}

} // namespace

std::string Encode(const TMemorySlot& slot) {
    std::string out;
    out.reserve(FileBytes);
    Put(out, slot.Count);
    for (std::int32_t o : slot.Outputs)
        Put(out, o);
    for (const auto& levels : slot.Sources)
        for (std::int32_t i : levels)
            Put(out, i);
    return out;
}

bool Decode(const std::string& bytes, TMemorySlot& slot, std::string* why) {
    if (bytes.size() != FileBytes)
        return Fail(why, "size " + std::to_string(bytes.size()) + " instead of 5144 bytes");
    TMemorySlot s;
    s.Count = Get(bytes, 0);
    if (s.Count < 0 || s.Count > TMemorySlot::MaxEntries)
        return Fail(why, "count " + std::to_string(s.Count) + " outside 0..257");
    for (std::size_t i = 0; i < s.Outputs.size(); ++i)
        s.Outputs[i] = Get(bytes, 4 + 4 * i);
    for (std::size_t i = 0; i < s.Sources.size(); ++i)
        for (std::size_t k = 0; k < 4; ++k)
            s.Sources[i][k] = Get(bytes, 1032 + 16 * i + 4 * k);
    for (std::size_t i = 0; i < static_cast<std::size_t>(s.Count); ++i) {
        if (s.Outputs[i] < 0 || s.Outputs[i] > 256)
            return Fail(why, "output " + std::to_string(s.Outputs[i]) + " outside 0..256");
        for (std::int32_t input : s.Sources[i])
            if (input < -1 || input > 256)
                return Fail(why, "input " + std::to_string(input) + " outside -1..256");
    }
    s.Name = slot.Name;
    s.FileName = slot.FileName;
    slot = s;
    return true;
}

std::vector<std::string> SalvoFileNames(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() <= 4 || e->d_type == DT_DIR)
            continue;
        const std::string tail = FoldAZ(name.substr(name.size() - 4));
        if (tail == Extension)
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string FolderFor(const std::string& base, int inputs, int outputs) {
    return base + "/Memory/" + std::to_string(inputs) + "x" + std::to_string(outputs) + "-4/";
}

std::vector<TMemorySlot> DefaultSalvos(int inputs) {
    std::vector<TMemorySlot> salvos;
    auto make = [&](const std::string& name, auto source) {
        TMemorySlot s;
        s.Name = name;
        s.Count = 256;
        for (int i = 0; i < 256; ++i) {
            s.Outputs[static_cast<std::size_t>(i)] = i;
            s.Sources[static_cast<std::size_t>(i)].fill(source(i));
        }
        salvos.push_back(std::move(s));
    };
    for (int k = 1; k <= inputs; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "%3.3d-ALL", k);
        make(name, [k](int) { return k - 1; });
    }
    make("N-N", [](int i) { return i; });
    make(std::to_string(inputs) + "-N",
         [inputs](int i) { return i < inputs ? inputs - 1 - i : 0; });
    return salvos;
}

int ParseOutputNumber(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    // Leading zeros aside, more than three digits is above 256 however long.
    const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
    if (text.size() - first > 3)
        return 0;
    const int n = first == text.size() ? 0 : std::stoi(text.substr(first));
    return n >= 1 && n <= 256 ? n : 0;
}

bool ParseOutputNumbers(const std::string& text, std::vector<int>& outputs) {
    outputs.clear();
    std::string kept;
    for (char c : text)
        if (c == ',' || c == '-' || (c >= '0' && c <= '9'))
            kept.push_back(c);
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = kept.find(',', start);
        pieces.push_back(kept.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    // A single trailing comma ends the list.
    if (pieces.size() > 1 && pieces.back().empty())
        pieces.pop_back();
    for (const std::string& piece : pieces) {
        const std::size_t dash = piece.find('-');
        if (dash == std::string::npos) {
            const int n = ParseOutputNumber(piece);
            if (n == 0)
                return false;
            outputs.push_back(n - 1);
        } else {
            const int a = ParseOutputNumber(piece.substr(0, dash));
            const int b = ParseOutputNumber(piece.substr(dash + 1));
            if (a == 0 || b == 0)
                return false;
            for (int n = a; n <= b; ++n)
                outputs.push_back(n - 1);
        }
        if (outputs.size() > static_cast<std::size_t>(TMemorySlot::MaxEntries))
            return false; // more than a record holds
    }
    return !outputs.empty();
}

std::string FoldAZ(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string TrimControls(const std::string& text) {
    auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
    const auto b = std::find_if(text.begin(), text.end(), keep);
    const auto e = std::find_if(text.rbegin(), text.rend(), keep).base();
    return b < e ? std::string(b, e) : std::string();
}

std::size_t LongestSalvoName(long nameMax) {
    const std::size_t extension = std::char_traits<char>::length(Extension);
    return nameMax > static_cast<long>(extension) ? static_cast<std::size_t>(nameMax) - extension
                                                  : 0;
}

bool ValidSalvoName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32;
    });
}

} // namespace salvofile
