#pragma once

#include <QIODevice>

// A write-only device that accepts `capacity` bytes and then fails every write,
// standing in for a full disk.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity, QObject *parent = nullptr);

    QByteArray written() const { return m_data; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    qint64 m_capacity;
    QByteArray m_data;
};
