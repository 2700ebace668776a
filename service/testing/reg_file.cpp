#include "testing/reg_file.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

namespace kqm {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

enum class Format { Regedit4, Unicode };

// Thrown inside the parser only; LoadRegText turns it into a result.
struct ParseError {
    int line;
    std::string text;
};

[[noreturn]] void Fail(int line, std::string text) {
    throw ParseError{line, std::move(text)};
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoringCase(s.substr(0, prefix.size()), prefix);
}

std::string Printable(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f) return std::string("'") + c + "'";
    static const char kDigits[] = "0123456789abcdef";
    return std::string("byte 0x") + kDigits[u >> 4] + kDigits[u & 0x0f];
}

int LineCount(std::string_view text) {
    int lines = 1;
    for (const char c : text) lines += c == '\n' ? 1 : 0;
    return lines;
}

// Our registry holds what the ANSI functions (RegQueryValueExA) return, and they convert
// Unicode text to the ANSI code page: here ASCII stays, every other character becomes '?',
// as in a Western code page that lacks it.
char AnsiFromCodePoint(std::uint32_t c) {
    return c < 0x80 ? static_cast<char>(c) : '?';
}

// UTF-16LE code units to ANSI text; a surrogate pair is one character, a trailing odd byte
// is dropped.
std::string AnsiFromUtf16(const std::uint8_t* data, std::size_t size) {
    std::string out;
    const std::size_t units = size / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<std::uint32_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit >= 0xd800 && unit < 0xdc00 && i + 1 < units) {
            const auto next = static_cast<std::uint32_t>(data[2 * i + 2] | (data[2 * i + 3] << 8));
            if (next >= 0xdc00 && next < 0xe000) ++i;
        }
        out += AnsiFromCodePoint(unit);
    }
    return out;
}

// UTF-8 to ANSI text; a malformed sequence gives one '?' per byte.
std::string AnsiFromUtf8(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
        }
        bool valid = lead < 0x80 || length > 1;
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
        }
        if (!valid) length = 1;
        out += lead < 0x80 ? static_cast<char>(lead) : '?';
        i += length;
    }
    return out;
}

std::string_view FirstLine(std::string_view text) {
    return Trim(text.substr(0, text.find('\n')));
}

[[noreturn]] void FailHeader() {
    Fail(1, "expected the header \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\"");
}

// Turns the file into 8-bit text, one character per character of the file.
std::pair<Format, std::string> Decode(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe') {
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2;
        std::string text = AnsiFromUtf16(data, bytes.size() - 2);
        if (bytes.size() % 2 != 0) Fail(LineCount(text), "UTF-16 text ends in half a character");
        if (FirstLine(text) != kHeader5) FailHeader();
        return {Format::Unicode, std::move(text)};
    }
    if (bytes.size() >= 2 && bytes[0] == '\xfe' && bytes[1] == '\xff') {
        Fail(1, "UTF-16 big-endian text is not supported");
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xef\xbb\xbf") {
        std::string text = AnsiFromUtf8(bytes.substr(3));
        if (FirstLine(text) != kHeader5) FailHeader();
        return {Format::Unicode, std::move(text)};
    }
    const std::string_view header = FirstLine(bytes);
    if (header == kHeader4) return {Format::Regedit4, std::string(bytes)};
    if (header == kHeader5) return {Format::Unicode, AnsiFromUtf8(bytes)};
    FailHeader();
}

struct Op {
    enum Kind { CreateKey, DeleteTree, SetValue, DeleteValue } kind;
    std::string path;
    std::string name;
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
};

class Parser {
  public:
    Parser(Format format, std::string_view text) : format_(format) {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) {
                lines_.push_back(text.substr(start));
                break;
            }
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }

    std::vector<Op> Parse() {
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const std::string_view line = Trim(lines_[index_]);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                KeyLine(line);
            } else if (line.front() == '"' || line.front() == '@') {
                ValueLine(line);
            } else {
                Fail(LineNumber(), "expected a [key] line, a value line or a ; comment");
            }
        }
        return std::move(ops_);
    }

  private:
    int LineNumber() const { return static_cast<int>(index_ + 1); }

    void KeyLine(std::string_view line) {
        if (line.back() != ']' || line.size() < 2) {
            Fail(LineNumber(), "expected ']' at the end of the key line");
        }
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        const std::size_t slash = inner.find('\\');
        if (!EqualsIgnoringCase(inner.substr(0, slash), kRoot)) {
            Fail(LineNumber(), "only HKEY_LOCAL_MACHINE keys can be loaded");
        }
        const std::string_view path =
            slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
        if (slash != std::string_view::npos) {
            std::size_t start = 0;
            while (true) {
                const std::size_t end = path.find('\\', start);
                const std::size_t length =
                    (end == std::string_view::npos ? path.size() : end) - start;
                if (length == 0) Fail(LineNumber(), "empty key name in the path");
                if (end == std::string_view::npos) break;
                start = end + 1;
            }
            if (path.find('\0') != std::string_view::npos) {
                Fail(LineNumber(), "key names cannot contain NUL");
            }
        }
        if (remove && path.empty()) {
            Fail(LineNumber(), "HKEY_LOCAL_MACHINE itself cannot be deleted");
        }
        ops_.push_back(Op{remove ? Op::DeleteTree : Op::CreateKey, std::string(path), {}, 0, {}});
        haveKey_ = !remove;
        keyPath_ = std::string(path);
        afterDeletion_ = remove;
    }

    // Reads "..." with regedit's escapes \\ and \" from the start of *s.
    std::string Quoted(std::string_view* s, const char* what) {
        std::string out;
        std::size_t i = 1;
        while (true) {
            if (i >= s->size()) Fail(LineNumber(), std::string("unterminated ") + what);
            const char c = (*s)[i];
            if (c == '"') break;
            if (c == '\\') {
                if (i + 1 >= s->size()) Fail(LineNumber(), std::string("unterminated ") + what);
                const char next = (*s)[i + 1];
                if (next != '\\' && next != '"') {
                    Fail(LineNumber(), "unknown escape \\" + std::string(1, next) + " in " + what +
                                           " (write \\\\ for a backslash)");
                }
                out += next;
                i += 2;
                continue;
            }
            out += c;
            ++i;
        }
        s->remove_prefix(i + 1);
        return out;
    }

    void ValueLine(std::string_view line) {
        if (!haveKey_) {
            Fail(LineNumber(), afterDeletion_ ? "value line after a key deletion"
                                              : "value line before any key line");
        }
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            name = Quoted(&line, "value name");
            if (name.find('\0') != std::string::npos) {
                Fail(LineNumber(), "value names cannot contain NUL");
            }
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=') {
            Fail(LineNumber(), "expected '=' after value name");
        }
        line = TrimLeft(line.substr(1));

        if (line == "-") {
            ops_.push_back(Op{Op::DeleteValue, keyPath_, std::move(name), 0, {}});
            return;
        }
        Op op{Op::SetValue, keyPath_, std::move(name), kRegNone, {}};
        if (!line.empty() && line.front() == '"') {
            const std::string text = Quoted(&line, "string");
            if (!line.empty()) Fail(LineNumber(), "unexpected text after the closing quote");
            op.type = kRegSz;
            op.data.assign(text.begin(), text.end());
            op.data.push_back(0);
        } else if (StartsWithIgnoringCase(line, "dword:")) {
            op.type = kRegDword;
            op.data = Dword(line.substr(6));
        } else if (StartsWithIgnoringCase(line, "hex")) {
            line.remove_prefix(3);
            op.type = HexType(&line);
            op.data = HexBytes(line);
            // Text types in a Unicode file hold UTF-16; the ANSI functions return them as ANSI.
            if (format_ == Format::Unicode &&
                (op.type == kRegSz || op.type == kRegExpandSz || op.type == kRegMultiSz)) {
                const std::string text = AnsiFromUtf16(op.data.data(), op.data.size());
                op.data.assign(text.begin(), text.end());
            }
        } else {
            Fail(LineNumber(), "expected \"text\", dword:, hex:, hex(type): or - after '='");
        }
        ops_.push_back(std::move(op));
    }

    std::vector<std::uint8_t> Dword(std::string_view digits) {
        if (digits.empty() || digits.size() > 8) {
            Fail(LineNumber(), "dword: needs 1 to 8 hex digits");
        }
        std::uint32_t value = 0;
        for (const char c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0) Fail(LineNumber(), "dword: needs 1 to 8 hex digits");
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        std::vector<std::uint8_t> data(4);
        for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(value >> (8 * i));
        return data;
    }

    // After "hex": either ":" (REG_BINARY) or "(N):" with N in hex.
    std::uint32_t HexType(std::string_view* s) {
        if (!s->empty() && s->front() == ':') {
            s->remove_prefix(1);
            return kRegBinary;
        }
        const std::size_t close = s->find(')');
        if (s->empty() || s->front() != '(' || close == std::string_view::npos || close < 2 ||
            close > 9 || close + 1 >= s->size() || (*s)[close + 1] != ':') {
            Fail(LineNumber(), "expected hex: or hex(type): with a type of 1 to 8 hex digits");
        }
        std::uint32_t type = 0;
        for (std::size_t i = 1; i < close; ++i) {
            const int digit = HexDigit((*s)[i]);
            if (digit < 0) {
                Fail(LineNumber(), "expected hex: or hex(type): with a type of 1 to 8 hex digits");
            }
            type = (type << 4) | static_cast<std::uint32_t>(digit);
        }
        s->remove_prefix(close + 2);
        return type;
    }

    // Comma-separated bytes of one or two hex digits; a line ending in '\' continues on the
    // next one.
    std::vector<std::uint8_t> HexBytes(std::string_view segment) {
        std::vector<std::uint8_t> data;
        bool needComma = false;
        bool endsWithComma = false;
        while (true) {
            segment = Trim(segment);
            const bool continues = !segment.empty() && segment.back() == '\\';
            if (continues) segment.remove_suffix(1);
            std::size_t i = 0;
            while (i < segment.size()) {
                const char c = segment[i];
                if (IsBlank(c)) {
                    ++i;
                } else if (c == ',') {
                    if (!needComma) Fail(LineNumber(), "expected a hex byte before ','");
                    needComma = false;
                    endsWithComma = true;
                    ++i;
                } else if (HexDigit(c) >= 0) {
                    if (needComma) Fail(LineNumber(), "expected ',' between hex bytes");
                    int value = HexDigit(c);
                    ++i;
                    if (i < segment.size() && HexDigit(segment[i]) >= 0) {
                        value = value * 16 + HexDigit(segment[i]);
                        ++i;
                    }
                    if (i < segment.size() && HexDigit(segment[i]) >= 0) {
                        Fail(LineNumber(), "hex byte with more than two digits");
                    }
                    data.push_back(static_cast<std::uint8_t>(value));
                    needComma = true;
                    endsWithComma = false;
                } else {
                    Fail(LineNumber(), "unexpected " + Printable(c) + " in hex data");
                }
            }
            if (!continues) break;
            if (index_ + 1 >= lines_.size()) {
                Fail(LineNumber(), "hex data continues past the end of the file");
            }
            ++index_;
            segment = lines_[index_];
        }
        if (endsWithComma) Fail(LineNumber(), "hex data ends with ','");
        return data;
    }

    Format format_;
    std::vector<std::string_view> lines_;
    std::size_t index_ = 0;
    std::vector<Op> ops_;
    bool haveKey_ = false;
    bool afterDeletion_ = false;
    std::string keyPath_;
};

void Apply(const std::vector<Op>& ops, MemoryRegistry& registry) {
    // Every path and name was checked while parsing, so none of these can fail.
    for (const Op& op : ops) {
        switch (op.kind) {
            case Op::CreateKey:
                registry.CreateKeyAt(op.path);
                break;
            case Op::DeleteTree:
                registry.DeleteTreeAt(op.path);
                break;
            case Op::SetValue:
                registry.SetValueAt(op.path, op.name, op.type, op.data);
                break;
            case Op::DeleteValue:
                registry.DeleteValueAt(op.path, op.name);
                break;
        }
    }
}

}  // namespace

RegLoadResult LoadRegText(std::string_view bytes, MemoryRegistry& registry) {
    std::vector<Op> ops;
    try {
        auto [format, text] = Decode(bytes);
        ops = Parser(format, text).Parse();
    } catch (const ParseError& error) {
        return RegLoadResult{false, error.line,
                             "line " + std::to_string(error.line) + ": " + error.text};
    }
    Apply(ops, registry);
    return RegLoadResult{true, 0, {}};
}

RegLoadResult LoadRegFile(const std::string& path, MemoryRegistry& registry) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    if (file) content << file.rdbuf();
    if (!file) return RegLoadResult{false, 0, "cannot read " + path};
    return LoadRegText(content.str(), registry);
}

}  // namespace kqm
