// Code page 932 through ICU, by Qt's named converters.

#include "lists/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kanaroll {

namespace {
constexpr auto kName = "windows-31j";
constexpr auto kStateless = QStringConverter::Flag::Stateless;
} // namespace

struct Cp932Encoder::State {
    QStringEncoder encoder{kName, kStateless};
};

struct Cp932Decoder::State {
    QStringDecoder decoder{kName, kStateless};
};

Cp932Encoder::Cp932Encoder() : m_state(std::make_unique<State>()) { Q_ASSERT(m_state->encoder.isValid()); }
Cp932Encoder::~Cp932Encoder() = default;

QByteArray Cp932Encoder::encode(QStringView text)
{
    // encode() converts lazily: the result must be taken for the error to show.
    QByteArray bytes = m_state->encoder.encode(text);
    m_error = m_error || m_state->encoder.hasError();
    return bytes;
}

Cp932Decoder::Cp932Decoder() : m_state(std::make_unique<State>()) { Q_ASSERT(m_state->decoder.isValid()); }
Cp932Decoder::~Cp932Decoder() = default;

QString Cp932Decoder::decode(QByteArrayView bytes)
{
    QString text = m_state->decoder.decode(bytes);
    m_error = m_error || m_state->decoder.hasError();
    return text;
}

} // namespace kanaroll
