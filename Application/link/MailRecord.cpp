#include "link/MailRecord.h"

#include "link/NumberConverting.h"
#include "link/SendMailHandling.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <variant>

namespace {

constexpr std::size_t FrameOverhead = 6;
constexpr std::size_t LengthPos = 4;

void AppendString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char Digits[] = "0123456789abcdef";
            out += "\\u00";
            out += Digits[byte >> 4];
            out += Digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

// The values a record's keys may have.
using TValue = std::variant<std::string, int64_t, bool>;

// A strict reader of one flat JSON object: string keys, string, integer, true and false values.
class TObjectReader {
public:
    explicit TObjectReader(std::string_view text)
        : Text(text) {}

    std::map<std::string, TValue> Read() {
        std::map<std::string, TValue> fields;
        SkipBlanks();
        if (!Take('{'))
            throw EMailRecordError("not a JSON object (it does not begin with '{')");
        SkipBlanks();
        if (!Take('}')) {
            for (;;) {
                SkipBlanks();
                if (Peek() != '"')
                    throw Error("a key in double quotes");
                std::string key = String();
                SkipBlanks();
                if (!Take(':'))
                    throw Error("':' after the key \"" + key + "\"");
                SkipBlanks();
                fields[key] = Value();
                SkipBlanks();
                if (Take(','))
                    continue;
                if (Take('}'))
                    break;
                throw Error("',' or '}'");
            }
        }
        SkipBlanks();
        if (Pos != Text.size())
            throw Error("the end of the line after the object");
        return fields;
    }

private:
    EMailRecordError Error(const std::string& expected) const {
        if (Pos >= Text.size())
            return EMailRecordError("cut short: expected " + expected + " at its end");
        return EMailRecordError("expected " + expected + " at column " + std::to_string(Pos + 1));
    }

    char Peek() const { return Pos < Text.size() ? Text[Pos] : '\0'; }
    bool Take(char c) {
        if (Peek() != c || Pos >= Text.size())
            return false;
        ++Pos;
        return true;
    }
    void SkipBlanks() {
        while (Pos < Text.size() && (Text[Pos] == ' ' || Text[Pos] == '\t' || Text[Pos] == '\r'))
            ++Pos;
    }

    TValue Value() {
        if (Peek() == '"')
            return String();
        if (Text.substr(Pos, 4) == "true") {
            Pos += 4;
            return true;
        }
        if (Text.substr(Pos, 5) == "false") {
            Pos += 5;
            return false;
        }
        int64_t number = 0;
        const char* begin = Text.data() + Pos;
        const auto [end, error] = std::from_chars(begin, Text.data() + Text.size(), number);
        if (error != std::errc() || end == begin)
            throw Error("a value (a text, a whole number, true or false)");
        Pos += static_cast<std::size_t>(end - begin);
        return number;
    }

    std::string String() {
        Take('"');
        std::string text;
        for (;;) {
            if (Pos >= Text.size())
                throw Error("the closing '\"' of a text");
            const char c = Text[Pos++];
            if (c == '"')
                return text;
            if (static_cast<unsigned char>(c) < 0x20)
                throw EMailRecordError("a control character inside a text at column " + std::to_string(Pos));
            if (c != '\\') {
                text += c;
                continue;
            }
            const char escaped = Peek();
            ++Pos;
            switch (escaped) {
            case '"':
            case '\\':
            case '/':
                text += escaped;
                break;
            case 'b':
                text += '\b';
                break;
            case 'f':
                text += '\f';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case 'u': {
                const std::string_view digits = Text.substr(Pos, 4);
                if (digits.size() != 4 || !IsHexText(std::string(digits), false))
                    throw Error("four hex digits after \\u");
                Pos += 4;
                const unsigned code = static_cast<unsigned>(Hex2Int64(std::string(digits)));
                // Texts are single bytes; a character beyond them is kept as UTF-8.
                if (code < 0x100) {
                    text += static_cast<char>(code);
                } else if (code < 0x800) {
                    text += static_cast<char>(0xC0 | (code >> 6));
                    text += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    text += static_cast<char>(0xE0 | (code >> 12));
                    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    text += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                --Pos;
                throw Error("an escape such as \\\" or \\n after '\\'");
            }
        }
    }

    std::string_view Text;
    std::size_t Pos = 0;
};

class TFields {
public:
    explicit TFields(std::map<std::string, TValue> fields)
        : Fields(std::move(fields)) {}

    template <typename T> std::optional<T> Get(const std::string& key, const char* kind) const {
        const auto found = Fields.find(key);
        if (found == Fields.end())
            return std::nullopt;
        if (const T* value = std::get_if<T>(&found->second))
            return *value;
        throw EMailRecordError("\"" + key + "\" must be " + kind);
    }
    template <typename T> T Need(const std::string& key, const char* kind) const {
        if (auto value = Get<T>(key, kind))
            return *value;
        throw EMailRecordError("\"" + key + "\" is missing");
    }

    std::vector<uint8_t> Bytes(const std::string& key, bool required) const {
        const std::optional<std::string> text =
            required ? Need<std::string>(key, "a text") : Get<std::string>(key, "a text");
        std::vector<uint8_t> bytes;
        if (!text)
            return bytes;
        std::size_t pos = 0;
        while (pos < text->size()) {
            if (pos + 2 > text->size() || !IsHexText(text->substr(pos, 2), false) ||
                (pos + 2 < text->size() && (*text)[pos + 2] != ' '))
                throw EMailRecordError("\"" + key +
                                       "\" must be bytes as two hex digits each, one blank between, not \"" +
                                       *text + "\"");
            bytes.push_back(Hex2Dec(text->substr(pos, 2)));
            pos += 3;
        }
        return bytes;
    }

private:
    std::map<std::string, TValue> Fields;
};

bool IsRequestFrame(const std::vector<uint8_t>& frame) {
    if (frame.size() < FrameOverhead ||
        !std::equal(FrameByte::FrameStart.begin(), FrameByte::FrameStart.end(), frame.begin()))
        return false;
    if (frame.size() != FrameOverhead + frame[LengthPos])
        return false;
    unsigned sum = 0;
    for (std::size_t i = LengthPos + 1; i + 1 < frame.size(); ++i)
        sum += frame[i];
    return static_cast<uint8_t>(sum) == frame.back();
}

} // namespace

std::string MailRecordLine(const TMailRecord& record) {
    std::string line = "{\"time\":";
    AppendString(line, record.Time);
    line += ",\"port\":";
    AppendString(line, record.Port);
    if (!record.Handset.empty()) {
        line += ",\"handset\":";
        AppendString(line, record.Handset);
    }
    line += ",\"mail\":";
    AppendString(line, record.Mail);
    line += record.Framed ? ",\"framed\":true" : ",\"framed\":false";
    line += ",\"sent\":\"" + SpacedHex(record.Sent) + "\"";
    line += ",\"received\":\"" + SpacedHex(record.Received) + "\"";
    line += ",\"answer\":";
    AppendString(line, record.Answer);
    line += record.ChecksumOK ? ",\"checksum\":\"OK\"" : ",\"checksum\":\"Error\"";
    line += ",\"elapsed_ms\":" + std::to_string(record.ElapsedMs);
    line += ",\"try\":" + std::to_string(record.Try);
    line += record.LineOpen ? ",\"line\":\"open\"}" : ",\"line\":\"closed\"}";
    return line;
}

TMailRecord ParseMailRecordLine(std::string_view line) {
    if (line.size() > MaxMailRecordLine)
        throw EMailRecordError("longer than " + std::to_string(MaxMailRecordLine) + " bytes");
    const TFields fields(TObjectReader(line).Read());
    TMailRecord record;
    record.Time = fields.Get<std::string>("time", "a text").value_or("");
    record.Port = fields.Get<std::string>("port", "a text").value_or("");
    record.Handset = fields.Get<std::string>("handset", "a text").value_or("");
    record.Mail = fields.Need<std::string>("mail", "a text");
    record.Framed = fields.Get<bool>("framed", "true or false").value_or(false);
    record.Sent = fields.Bytes("sent", true);
    if (!IsRequestFrame(record.Sent))
        throw EMailRecordError("\"sent\" is not a request frame (FF FF 4D, command, length, data, checksum)");
    record.Received = fields.Bytes("received", true);
    record.Answer = fields.Get<std::string>("answer", "a text").value_or("");
    if (const auto checksum = fields.Get<std::string>("checksum", "a text")) {
        if (*checksum != "OK" && *checksum != "Error")
            throw EMailRecordError("\"checksum\" must be \"OK\" or \"Error\", not \"" + *checksum + "\"");
        record.ChecksumOK = *checksum == "OK";
    }
    record.ElapsedMs = fields.Get<int64_t>("elapsed_ms", "a whole number").value_or(0);
    const int64_t tryNumber = fields.Get<int64_t>("try", "a whole number").value_or(1);
    if (tryNumber < 1 || tryNumber > 1'000'000)
        throw EMailRecordError("\"try\" must be 1 or more, not " + std::to_string(tryNumber));
    record.Try = static_cast<int>(tryNumber);
    if (const auto state = fields.Get<std::string>("line", "a text")) {
        if (*state != "open" && *state != "closed")
            throw EMailRecordError("\"line\" must be \"open\" or \"closed\", not \"" + *state + "\"");
        record.LineOpen = *state == "open";
    }
    return record;
}
