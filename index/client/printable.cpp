#include "index/client/printable.h"

#include "base/utf8.h"

namespace qf::index {
namespace {

void appendHex(std::string& out, const char* prefix, unsigned value, int digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

}  // namespace

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (size_t len = c >= 0x80 ? utf8SequenceLength(text, i) : 0) {
            // C1 controls (U+0080..U+009F) are two bytes starting with 0xC2.
            unsigned char next = static_cast<unsigned char>(text[i + 1]);
            if (c == 0xC2 && next < 0xA0)
                appendHex(out, "\\u", next, 4);
            else
                out.append(text.substr(i, len));
            i += len;
        } else {  // C0 controls, DEL, and bytes that are not UTF-8
            appendHex(out, "\\x", c, 2);
            ++i;
        }
    }
    return out;
}

}  // namespace qf::index
