#pragma once
// The files of a production run as the tests make and read them: a program
// of some size as Intel HEX, and the fields of a line of the CSV log.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

namespace oriole::test {

// `bytes` of program from address 0 as Intel HEX.
inline QByteArray ProgramHex(int bytes) {
    QByteArray hex;
    for (int at = 0; at < bytes; at += 16) {
        QByteArray record =
            QByteArray::fromHex(QByteArray::number(0x10, 16)) +
            QByteArray::fromHex(QString("%1").arg(at, 4, 16, QChar('0')).toLatin1()) + '\0';
        for (int i = 0; i < 16; ++i) record += static_cast<char>((at + i) * 7);
        uint8_t sum = 0;
        for (char c : record) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        record += static_cast<char>(-sum);
        hex += ':' + record.toHex().toUpper() + "\r\n";
    }
    return hex + ":00000001FF\r\n";
}

// One CSV line's fields; quoted fields may hold commas.
inline QList<QByteArray> SplitCsv(const QByteArray& line) {
    QList<QByteArray> fields{{}};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            fields.last() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields << QByteArray();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

// The rows of a log after its header, split into fields.
inline QList<QList<QByteArray>> CsvRows(const QByteArray& log) {
    QList<QList<QByteArray>> rows;
    const QList<QByteArray> lines = log.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].trimmed().isEmpty()) rows << SplitCsv(lines[i].trimmed());
    return rows;
}

// The rows of a log after its header, each field under its column's name
// (the header's, without the byte-order mark).
inline QList<QMap<QByteArray, QByteArray>> CsvRecords(const QByteArray& log) {
    QByteArray text = log;
    if (text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
    const qsizetype end = text.indexOf('\n');
    const QList<QByteArray> header = SplitCsv(text.left(end).trimmed());
    QList<QMap<QByteArray, QByteArray>> records;
    for (const QList<QByteArray>& row : CsvRows(text)) {
        QMap<QByteArray, QByteArray>& record = records.emplaceBack();
        for (qsizetype i = 0; i < header.size(); ++i) record[header[i]] = row.value(i);
    }
    return records;
}

}  // namespace oriole::test
