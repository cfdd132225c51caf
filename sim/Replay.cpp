#include "Replay.h"

#include <algorithm>
#include <charconv>

namespace cmbvhp::sim {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "5A A5": pairs of hexadecimal digits, one blank between them.
std::optional<Bytes> hexBytes(std::string_view text)
{
    Bytes out;
    for (std::size_t i = 0;; i += 3) {
        if (i + 2 > text.size())
            return std::nullopt;
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        if (i + 2 == text.size())
            return out;
        if (text[i + 2] != ' ')
            return std::nullopt;
    }
}

bool isTime(std::string_view t)
{
    // HH:MM:SS.mmm
    static constexpr std::string_view kShape = "00:00:00.000";
    if (t.size() != kShape.size())
        return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (kShape[i] == '0' ? (t[i] < '0' || t[i] > '9') : t[i] != kShape[i])
            return false;
    return true;
}

std::string key(const Bytes& frame) { return std::string(frame.begin(), frame.end()); }

} // namespace

std::optional<Replay> Replay::load(std::istream& in, std::string& error)
{
    Replay r;
    std::string line;
    std::size_t number = 0;
    bool lastLineCut = false;
    while (std::getline(in, line)) {
        ++number;
        // A cut last line has no line end: getline stops at the end of the file.
        lastLineCut = in.eof();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        auto refuse = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        auto parse = [&]() -> bool {
            const std::string_view l(line);
            if (l.size() < 16 || !isTime(l.substr(0, 12)) || l[12] != ' ')
                return refuse("not an event (HH:MM:SS.mmm TAG ...)");
            const std::string_view rest = l.substr(13);
            const std::size_t blank = rest.find(' ');
            const std::string_view tag = rest.substr(0, blank);
            const std::string_view body = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
            if (tag == "OP" || tag == "NOTE")
                return true;
            if (tag == "TX") {
                const auto frame = hexBytes(body);
                if (!frame)
                    return refuse("a TX line holds hexadecimal bytes");
                r.exchanges_.push_back({*frame, {}});
                return true;
            }
            if (tag == "DROP")
                return hexBytes(body) ? true : refuse("a DROP line holds hexadecimal bytes");
            if (tag != "RX")
                return refuse("unknown event \"" + std::string(tag) + "\"");
            // RX bytes, then " +N ms" unless no frame had gone out before them.
            std::string_view bytes = body;
            long after = 0;
            if (const std::size_t plus = body.rfind(" +"); plus != std::string_view::npos && body.ends_with(" ms")) {
                const std::string_view ms = body.substr(plus + 2, body.size() - plus - 5);
                const auto [end, ec] = std::from_chars(ms.data(), ms.data() + ms.size(), after);
                if (ec != std::errc() || end != ms.data() + ms.size() || after < 0)
                    return refuse("an RX line's delay is \"+N ms\"");
                bytes = body.substr(0, plus);
            }
            const auto received = hexBytes(bytes);
            if (!received)
                return refuse("an RX line holds hexadecimal bytes");
            if (!r.exchanges_.empty())
                r.exchanges_.back().replies.push_back({std::chrono::milliseconds(after), *received});
            return true;
        };
        if (!parse()) {
            if (lastLineCut) {
                error.clear();
                break;
            }
            return std::nullopt;
        }
    }
    if (in.bad()) {
        error = "the file could not be read";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < r.exchanges_.size(); ++i)
        r.at_[key(r.exchanges_[i].frame)].push_back(i);
    return r;
}

const std::vector<Replay::Piece>* Replay::answer(const Bytes& frame)
{
    const auto it = at_.find(key(frame));
    if (it != at_.end()) {
        const auto& places = it->second;
        const auto next = std::lower_bound(places.begin(), places.end(), next_);
        if (next != places.end()) {
            next_ = *next + 1;
            ++answered_;
            return &exchanges_[*next].replies;
        }
    }
    ++unanswered_;
    return nullptr;
}

} // namespace cmbvhp::sim
