// A settings file in the Windows profile (INI) format.
//
// Behaves as the system's profile functions do: section and key names match
// without regard to letter case, a value is the text after the first '=' with
// the surrounding blanks removed (and one pair of enclosing quotes), and a
// missing file simply gives the defaults. Every write goes to the disk at once:
// the whole file is rewritten through a temporary file in the same folder that
// then replaces it, so a failure never leaves half a file behind. Lines the
// write does not concern (comments, other sections, other keys) stay as they
// were, and the file keeps its line ends (CRLF for a new file).
//
// Text is Windows-1252 bytes and is read and written as is. The path is the
// file-system path of the file, used as given.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace doz {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& fileName() const { return path_; }

    // The value of `key` in `section`, or `defaultValue` when the file, the
    // section or the key is missing. A key line without '=' has the empty value.
    std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Decimal, or hexadecimal with "0x" or "$"; `defaultValue` when the value is
    // missing or not a whole number that fits 32 bits.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets the key, adding it after the last key of its section, or adding the
    // section at the end of the file. The file is created when missing; its
    // folder must exist. Throws IoError when the file cannot be written.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    // Sets several keys of a section in one write of the file: all or none.
    void writeStrings(std::string_view section, std::span<const std::pair<std::string_view, std::string_view>> values);

    bool sectionExists(std::string_view section) const;
    bool valueExists(std::string_view section, std::string_view key) const;
    // The key names of a section in file order (empty when the section is missing).
    std::vector<std::string> readSection(std::string_view section) const;

    // Removes the key's line; nothing is written when the key is not there.
    void eraseKey(std::string_view section, std::string_view key);

private:
    std::string path_;
};

}  // namespace doz
