#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <charconv>
#include <cstring>

// Room for one line at the end of a text, made at once and written through a pointer: a record
// of 100,000 lines is composed without a dozen appends, each checking the text's room, per line.
// `most` bounds the line's bytes; the text ends where the line does once the room goes, and
// nothing else may touch the text while it stands.
class LineRoom
{
public:
    LineRoom(QByteArray &text, qsizetype most)
        : m_text(text)
    {
        const qsizetype start = text.size();
        // Room grows by doubling: a resize alone gives a line no more than it asks for.
        if (text.capacity() < start + most)
            text.reserve(std::max(2 * text.capacity(), start + most));
        text.resize(start + most);
        m_out = text.data() + start;
    }
    ~LineRoom() { m_text.truncate(m_out - m_text.constData()); }
    LineRoom(const LineRoom &) = delete;
    LineRoom &operator=(const LineRoom &) = delete;

    // The bytes a number takes at most, in decimal.
    static constexpr qsizetype NumberBytes = 20;

    LineRoom &operator<<(char c)
    {
        *m_out++ = c;
        return *this;
    }
    LineRoom &operator<<(QByteArrayView bytes)
    {
        std::memcpy(m_out, bytes.data(), size_t(bytes.size()));
        m_out += bytes.size();
        return *this;
    }
    template<typename Number>
    LineRoom &number(Number value)
    {
        m_out = std::to_chars(m_out, m_out + NumberBytes, value).ptr;
        return *this;
    }

private:
    QByteArray &m_text;
    char *m_out;
};
