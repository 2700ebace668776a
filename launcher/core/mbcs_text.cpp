// Multibyte walks over paths and message patterns; never write past the buffers they are given.
#include "core/mbcs_text.h"

#include <cstring>

namespace kq::launcher {

namespace {

// Length in bytes of the character at p: 2 for a lead byte followed by a byte, else 1.
std::size_t CharLength(const char* p, LeadByteTest isLead) {
    return (isLead(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
}

// Appends whole characters of text[0, length) to out while they fit; false when cut short.
class BoundedWriter {
  public:
    BoundedWriter(char* out, std::size_t size, LeadByteTest isLead)
        : out_(out), size_(size), isLead_(isLead) {
        if (size_ > 0) out_[0] = '\0';
    }

    bool Append(const char* text, std::size_t length) {
        std::size_t i = 0;
        while (i < length) {
            std::size_t n = CharLength(text + i, isLead_);
            if (i + n > length) n = length - i;
            if (!Put(text + i, n)) return false;
            i += n;
        }
        return true;
    }
    bool Append(const char* text) { return Append(text, std::strlen(text)); }

    std::size_t Length() const { return used_; }

  private:
    bool Put(const char* ch, std::size_t n) {
        if (size_ == 0 || used_ + n > size_ - 1) return false;
        std::memcpy(out_ + used_, ch, n);
        used_ += n;
        out_[used_] = '\0';
        return true;
    }

    char* out_;
    std::size_t size_;
    LeadByteTest isLead_;
    std::size_t used_ = 0;
};

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsNeverLeadByte(unsigned char) {
    return false;
}

const char* FindLastBackslash(const char* text, LeadByteTest isLead) {
    const char* last = nullptr;
    for (const char* p = text; *p != '\0'; p += CharLength(p, isLead)) {
        if (*p == '\\') last = p;
    }
    return last;
}

bool PathBeside(char* out, std::size_t outSize, const char* modulePath, const char* fileName,
                LeadByteTest isLead) {
    const char* slash = FindLastBackslash(modulePath, isLead);
    std::size_t dirLength = slash ? static_cast<std::size_t>(slash - modulePath) + 1 : 0;
    BoundedWriter writer(out, outSize, isLead);
    if (writer.Append(modulePath, dirLength) && writer.Append(fileName)) return true;
    if (outSize > 0) out[0] = '\0';
    return false;
}

bool FileTitle(char* out, std::size_t outSize, const char* modulePath, LeadByteTest isLead) {
    const char* slash = FindLastBackslash(modulePath, isLead);
    const char* name = slash ? slash + 1 : modulePath;
    const char* dot = nullptr;
    for (const char* p = name; *p != '\0'; p += CharLength(p, isLead)) {
        if (*p == '.') dot = p;
    }
    std::size_t length = dot ? static_cast<std::size_t>(dot - name) : std::strlen(name);
    BoundedWriter writer(out, outSize, isLead);
    if (writer.Append(name, length)) return true;
    if (outSize > 0) out[0] = '\0';
    return false;
}

std::size_t FormatWithName(char* out, std::size_t outSize, const char* pattern, const char* arg,
                           LeadByteTest isLead) {
    BoundedWriter writer(out, outSize, isLead);
    bool argUsed = false;
    const char* p = pattern;
    while (*p != '\0') {
        if (p[0] == '%' && p[1] == '%') {
            if (!writer.Append("%", 1)) break;
            p += 2;
        } else if (p[0] == '%' && p[1] == 's' && !argUsed) {
            argUsed = true;
            if (!writer.Append(arg)) break;
            p += 2;
        } else {
            std::size_t n = CharLength(p, isLead);
            if (!writer.Append(p, n)) break;
            p += n;
        }
    }
    return writer.Length();
}

}  // namespace kq::launcher
