// A small model of an ANSI terminal with autowrap off, enough to replay what the terminal
// encoder writes: cursor positioning (CUP, CUF), erase display, SGR colours (16 colours,
// 256-colour palette entries and 24-bit), OSC titles, private modes, CAN and UTF-8 text. Tests
// compare its grid with the cells that were encoded.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct ModelColour {
    int ansi = -1;  // 0..15 for a 16-colour SGR, -1 for 24-bit or default
    int red = -1, green = -1, blue = -1;
    int indexed = -1;  // 0..255 for a 256-colour SGR
    bool operator==(const ModelColour&) const = default;
};

struct ModelCell {
    char32_t glyph = U' ';
    ModelColour foreground, background;
    bool written = false;
};

class TerminalModel {
  public:
    TerminalModel(int columns, int rows) : columns_(columns), rows_(rows), grid_(columns * rows) {}

    const ModelCell& at(int column, int row) const { return grid_.at(row * columns_ + column); }
    const std::string& title() const { return title_; }
    int glyphsWritten() const { return glyphsWritten_; }
    int colourSequences() const { return colourSequences_; }
    bool syncOpen() const { return syncOpen_; }
    void resetCounters() { glyphsWritten_ = colourSequences_ = 0; }

    void feed(const std::string& bytes) {
        size_t i = 0;
        while (i < bytes.size()) {
            unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (c == 0x1b) {
                i = escape(bytes, i + 1);
            } else if (c == 0x18) {
                ++i;  // CAN: cancels a sequence in progress; nothing to do between sequences
            } else if (c < 0x20) {
                throw std::runtime_error("unexpected control byte " + std::to_string(c));
            } else {
                char32_t glyph;
                i = decodeUtf8(bytes, i, glyph);
                put(glyph);
            }
        }
    }

  private:
    size_t escape(const std::string& b, size_t i) {
        if (i >= b.size()) throw std::runtime_error("truncated escape");
        if (b[i] == ']') {  // OSC ... BEL
            size_t end = b.find('\a', i);
            if (end == std::string::npos) throw std::runtime_error("unterminated OSC");
            std::string body = b.substr(i + 1, end - i - 1);
            if (body.rfind("2;", 0) == 0) title_ = body.substr(2);
            return end + 1;
        }
        if (b[i] != '[') throw std::runtime_error("unknown escape");
        ++i;
        bool priv = i < b.size() && b[i] == '?';
        if (priv) ++i;
        std::vector<int> params;
        int value = -1;
        while (i < b.size() && (isdigit(static_cast<unsigned char>(b[i])) || b[i] == ';')) {
            if (b[i] == ';') {
                params.push_back(value < 0 ? 0 : value);
                value = -1;
            } else {
                value = (value < 0 ? 0 : value * 10) + (b[i] - '0');
            }
            ++i;
        }
        if (value >= 0 || !params.empty()) params.push_back(value < 0 ? 0 : value);
        if (i >= b.size()) throw std::runtime_error("truncated CSI");
        char final = b[i++];
        auto param = [&](size_t k, int fallback) {
            return k < params.size() && params[k] > 0 ? params[k] : fallback;
        };
        if (priv) {
            if (params.size() == 1 && params[0] == 2026) syncOpen_ = final == 'h';
            return i;
        }
        switch (final) {
            case 'H':
                row_ = param(0, 1) - 1;
                column_ = param(1, 1) - 1;
                if (row_ >= rows_ || column_ >= columns_)
                    throw std::runtime_error("cursor moved outside the terminal");
                break;
            case 'C':
                column_ += param(0, 1);
                if (column_ >= columns_) throw std::runtime_error("cursor moved past the edge");
                break;
            case 'J':
                for (auto& cell : grid_)
                    cell = ModelCell{};
                break;
            case 'm':
                sgr(params);
                break;
            case 't':
                break;  // window operations: title stack, maximise
            default:
                throw std::runtime_error(std::string("unknown CSI ") + final);
        }
        return i;
    }

    void sgr(std::vector<int> params) {
        ++colourSequences_;
        if (params.empty()) params.push_back(0);
        for (size_t k = 0; k < params.size(); ++k) {
            int p = params[k];
            if (p == 0) {
                foreground_ = background_ = ModelColour{};
            } else if ((p == 38 || p == 48) && k + 2 < params.size() && params[k + 1] == 5) {
                if (params[k + 2] > 255) throw std::runtime_error("bad palette entry");
                (p == 38 ? foreground_ : background_) = ModelColour{-1, -1, -1, -1, params[k + 2]};
                k += 2;
            } else if (p == 38 || p == 48) {
                if (k + 4 >= params.size() || params[k + 1] != 2)
                    throw std::runtime_error("bad 24-bit colour");
                ModelColour c{-1, params[k + 2], params[k + 3], params[k + 4]};
                (p == 38 ? foreground_ : background_) = c;
                k += 4;
            } else if (p >= 30 && p <= 37) {
                foreground_ = ModelColour{p - 30};
            } else if (p >= 90 && p <= 97) {
                foreground_ = ModelColour{p - 90 + 8};
            } else if (p >= 40 && p <= 47) {
                background_ = ModelColour{p - 40};
            } else if (p >= 100 && p <= 107) {
                background_ = ModelColour{p - 100 + 8};
            } else {
                throw std::runtime_error("unknown SGR " + std::to_string(p));
            }
        }
    }

    static size_t decodeUtf8(const std::string& b, size_t i, char32_t& out) {
        unsigned char c = static_cast<unsigned char>(b[i]);
        int extra = c < 0x80 ? 0 : c < 0xe0 ? 1 : c < 0xf0 ? 2 : 3;
        out = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= b.size()) throw std::runtime_error("truncated UTF-8");
            out = out << 6 | (static_cast<unsigned char>(b[i + k]) & 0x3f);
        }
        return i + 1 + extra;
    }

    void put(char32_t glyph) {
        if (row_ < 0 || row_ >= rows_ || column_ < 0 || column_ >= columns_)
            throw std::runtime_error("glyph written outside the terminal");
        ModelCell& cell = grid_[row_ * columns_ + column_];
        cell.glyph = glyph;
        cell.foreground = foreground_;
        cell.background = background_;
        cell.written = true;
        ++glyphsWritten_;
        if (column_ < columns_ - 1) ++column_;  // autowrap off: the last column holds the cursor
    }

    int columns_, rows_;
    std::vector<ModelCell> grid_;
    int row_ = 0, column_ = 0;
    ModelColour foreground_, background_;
    std::string title_;
    int glyphsWritten_ = 0, colourSequences_ = 0;
    bool syncOpen_ = false;
};
