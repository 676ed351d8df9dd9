#pragma once

#include <cstddef>
#include <memory>
#include <string>

// The classic INI dialect of our configuration files: [SECTION] lines and
// KEY=value lines, values stored as they are. Names compare case-insensitively
// on read, as the platform's profile functions do. Missing or non-numeric
// values give the caller's default. Save() never loses the previous file (see
// safefile::Save).
class TIniFile {
public:
    explicit TIniFile(std::string fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    // Loads the file; a missing, unreadable or non-regular file, or one larger
    // than MaxFileBytes, leaves an empty document.
    bool Load();
    bool Save();
    // Why the last Load or Save failed ("" after a success).
    const std::string& LastError() const { return FError; }
    static constexpr std::size_t MaxFileBytes = 1 << 20;
    void Clear();

    std::string ReadString(const char* section, const std::string& key,
                           const std::string& def) const;
    int ReadInteger(const char* section, const std::string& key, int def) const;
    bool ReadBool(const char* section, const std::string& key, bool def) const;

    void WriteString(const char* section, const std::string& key, const std::string& value);
    void WriteInteger(const char* section, const std::string& key, int value);
    void WriteBool(const char* section, const std::string& key, bool value);

private:
    std::string FFileName;
    std::string FError;
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

// Strict decimal conversion used for INI values: optional sign, digits, blanks
// around allowed; anything else (or an overflow) is not a number.
bool ParseIniInteger(const std::string& text, int& value);
