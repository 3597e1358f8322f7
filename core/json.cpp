// core/json.cpp: recursive-descent JSON reader, strict about structure and lenient about the
// contents of numbers and strings (catalog feeds are not always clean).
#include "core/json.h"

#include <clocale>
#include <cmath>
#include <cstdlib>

#include "core/text.h"

namespace {

// Built before main and shared by every failed Find, so callers can chain Find calls freely.
const JsonValue kEmptyValue;

// The top value is depth 0: 257 levels of nesting at most.
constexpr int kMaxDepth = 256;

bool IsNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool Document(JsonValue& out) {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
        SkipBlanks();
        if (!Value(out, 0)) return false;
        SkipBlanks();
        return m_pos == m_text.size();
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    void SkipBlanks() {
        while (!AtEnd() && IsBlank(m_text[m_pos])) ++m_pos;
    }
    bool Consume(char c) {
        if (AtEnd() || m_text[m_pos] != c) return false;
        ++m_pos;
        return true;
    }
    bool Literal(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth) {
        if (depth > kMaxDepth || AtEnd()) return false;
        const char c = m_text[m_pos];
        switch (c) {
            case '{': return Object(out, depth);
            case '[': return Array(out, depth);
            case '"':
                out.type = JsonType::String;
                return String(out.string);
            case 't':
            case 'f':
                out.type = JsonType::Boolean;
                out.boolean = c == 't';
                return Literal(c == 't' ? "true" : "false");
            case 'n': return Literal("null");
            default:
                if (c == '-' || (c >= '0' && c <= '9')) return Number(out);
                return false;
        }
    }

    bool Object(JsonValue& out, int depth) {
        out.type = JsonType::Object;
        ++m_pos;
        SkipBlanks();
        if (Consume('}')) return true;
        for (;;) {
            std::pair<std::string, JsonValue> member;
            if (Peek() != '"' || !String(member.first)) return false;
            SkipBlanks();
            if (!Consume(':')) return false;
            SkipBlanks();
            if (!Value(member.second, depth + 1)) return false;
            out.object.push_back(std::move(member));
            SkipBlanks();
            if (Consume('}')) return true;
            if (!Consume(',')) return false;
            SkipBlanks();
        }
    }

    bool Array(JsonValue& out, int depth) {
        out.type = JsonType::Array;
        ++m_pos;
        SkipBlanks();
        if (Consume(']')) return true;
        for (;;) {
            JsonValue element;
            if (!Value(element, depth + 1)) return false;
            out.array.push_back(std::move(element));
            SkipBlanks();
            if (Consume(']')) return true;
            if (!Consume(',')) return false;
            SkipBlanks();
        }
    }

    // The run is converted from a copy of its own characters, so strtod can never read past it
    // (into "x1A" or "inf"); its valid beginning is taken and the rest ignored, as catalogs expect.
    bool Number(JsonValue& out) {
        const size_t start = m_pos;
        while (!AtEnd() && IsNumberChar(m_text[m_pos])) ++m_pos;
        std::string run(m_text.substr(start, m_pos - start));
        // strtod follows the C locale's decimal point; JSON always uses ".".
        const char point = *std::localeconv()->decimal_point;
        if (point != '.')
            for (char& ch : run)
                if (ch == '.') ch = point;
        out.type = JsonType::Number;
        out.number = std::strtod(run.c_str(), nullptr);
        return true;
    }

    bool Hex4(uint32_t& code) {
        if (m_text.size() - m_pos < 4) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(m_text[m_pos + i]);
            if (digit < 0) return false;
            code = code * 16 + uint32_t(digit);
        }
        m_pos += 4;
        return true;
    }

    // A high surrogate joins only a following low one; anything else is written on its own.
    bool Escape(std::string& out) {
        const char c = Peek();
        ++m_pos;
        switch (c) {
            case '"': out += '"'; return true;
            case '/': out += '/'; return true;
            case '\\': out += '\\'; return true;
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'u': break;
            default: return false;
        }
        uint32_t code = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xD800 && code <= 0xDBFF && m_text.substr(m_pos, 2) == "\\u") {
            const size_t mark = m_pos;
            m_pos += 2;
            uint32_t low = 0;
            if (Hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                code = ((code - 0xD800) << 10) + (low - 0xDC00) + 0x10000;
            } else {
                m_pos = mark;   // the next escape is read again by itself
            }
        }
        AppendUtf8(out, code);
        return true;
    }

    bool String(std::string& out) {
        ++m_pos;
        while (!AtEnd()) {
            const char c = m_text[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\\') {
                ++m_pos;
                if (AtEnd() || !Escape(out)) return false;
            } else {
                out += c;
                ++m_pos;
            }
        }
        return false;
    }

    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace

const JsonValue& JsonValue::Find(std::string_view key) const {
    if (type != JsonType::Object) return kEmptyValue;
    for (const auto& member : object)
        if (member.first == key) return member.second;
    return kEmptyValue;
}

std::string JsonValue::AsString(const std::string& fallback) const {
    switch (type) {
        case JsonType::Boolean: return boolean ? "true" : "false";
        case JsonType::String: return string;
        case JsonType::Number: {
            // Casting a double outside the int64 range is undefined: test the range first.
            // 2^63 itself is exactly representable and already out of range.
            constexpr double kLimit = 9223372036854775808.0;
            if (std::isfinite(number) && number >= -kLimit && number < kLimit) {
                const long long whole = static_cast<long long>(number);
                if (static_cast<double>(whole) == number) return Format("%lld", whole);
            }
            return Format("%g", number);
        }
        default: return fallback;
    }
}

JsonValue JsonParse(std::string_view text, bool* ok) {
    JsonValue value;
    Parser parser(text);
    const bool parsed = parser.Document(value);
    if (ok) *ok = parsed;
    // Two returns rather than a conditional, which would copy the whole tree instead of moving it.
    if (!parsed) return JsonValue();
    return value;
}
