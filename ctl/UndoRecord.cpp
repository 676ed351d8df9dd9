#include "UndoRecord.h"

#include "Index.h"
#include "IpText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace undorecord {

namespace {

QJsonArray LevelsJson(const TLevels& levels) {
    QJsonArray a;
    for (int k = 1; k <= levels.Count && k <= 4; ++k)
        a.append(QJsonObject{
            {QStringLiteral("switcher"), QString::fromStdString(FormatIP(levels.IP[Ix(k)]))},
            {QStringLiteral("address"), levels.Address[Ix(k)]}});
    return a;
}

} // namespace

QByteArray Write(const TStepBack& step, const TLevels& levels, int inputs, int outputs) {
    QJsonArray entries;
    for (const TStepEntry& e : step.Entries())
        entries.append(QJsonObject{{QStringLiteral("output"), e.Output + 1},
                                   {QStringLiteral("level"), e.Level},
                                   {QStringLiteral("lock"), e.Lock},
                                   {QStringLiteral("before"), e.Lock ? e.Before : e.Before + 1},
                                   {QStringLiteral("after"), e.Lock ? e.After : e.After + 1}});
    const QJsonObject root{{QStringLiteral("action"), QString::fromStdString(step.Action())},
                           {QStringLiteral("levels"), LevelsJson(levels)},
                           {QStringLiteral("inputs"), inputs},
                           {QStringLiteral("outputs"), outputs},
                           {QStringLiteral("entries"), entries}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool Read(const QByteArray& data, const TLevels& levels, int inputs, int outputs, TRecord& record,
          QString* error) {
    auto fail = [&](const QString& why) {
        *error = why;
        return false;
    };
    if (static_cast<std::size_t>(data.size()) > MaxBytes)
        return fail(QStringLiteral("the record is too large"));
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return fail(QStringLiteral("the record is not readable"));
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("levels")).toArray() != LevelsJson(levels) ||
        root.value(QStringLiteral("inputs")).toInt(-1) != inputs ||
        root.value(QStringLiteral("outputs")).toInt(-1) != outputs)
        return fail(QStringLiteral("the level set or the matrix size has changed since"));
    record.Action = root.value(QStringLiteral("action")).toString().left(32).toStdString();
    record.Entries.clear();
    const QJsonArray entries = root.value(QStringLiteral("entries")).toArray();
    // An action changes each output's level once, a route and a lock at most.
    if (entries.size() > 2 * FieldLevels * 256)
        return fail(QStringLiteral("the record holds too many entries"));
    for (const QJsonValue& v : entries) {
        const QJsonObject o = v.toObject();
        TStepEntry e;
        e.Output = o.value(QStringLiteral("output")).toInt(0) - 1;
        e.Level = o.value(QStringLiteral("level")).toInt(0);
        e.Lock = o.value(QStringLiteral("lock")).toBool(false);
        const int shift = e.Lock ? 0 : 1;
        e.Before = o.value(QStringLiteral("before")).toInt(-1) - shift;
        e.After = o.value(QStringLiteral("after")).toInt(-1) - shift;
        const int limit = e.Lock ? 2 : inputs;
        if (e.Output < 0 || e.Output >= outputs || e.Level < 1 || e.Level > levels.Count ||
            e.Before < 0 || e.Before >= limit || e.After < 0 || e.After >= limit)
            return fail(QStringLiteral("the record holds an entry out of range"));
        record.Entries.push_back(e);
    }
    return true;
}

} // namespace undorecord
