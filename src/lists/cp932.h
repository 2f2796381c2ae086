#pragma once

// Code page 932, the text of the list and result files. Each platform has a
// converter of its own (chosen by the build); both give the same bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

namespace kanaroll {

// Text to bytes. A character code page 932 has no bytes for raises the error
// flag, which stays raised for every later text: one encoder serves a run of
// texts while none fails. Nothing is ever replaced by a near character.
class Cp932Encoder
{
public:
    Cp932Encoder();
    ~Cp932Encoder();
    Cp932Encoder(const Cp932Encoder &) = delete;
    Cp932Encoder &operator=(const Cp932Encoder &) = delete;

    QByteArray encode(QStringView text);
    bool hasError() const { return m_error; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_error = false;
};

// Bytes to text. Each piece must end on a character boundary; bytes that are
// not code page 932 raise the error flag, which stays raised.
class Cp932Decoder
{
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder &) = delete;
    Cp932Decoder &operator=(const Cp932Decoder &) = delete;

    QString decode(QByteArrayView bytes);
    bool hasError() const { return m_error; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_error = false;
};

} // namespace kanaroll
