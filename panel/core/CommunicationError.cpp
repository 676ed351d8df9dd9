#include "CommunicationError.h"

#include "IpText.h"

QString CommunicationErrorText(const TLinkError& failure, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses) {
    const int op = failure.Operation, error = failure.Code, detail = failure.Detail,
              extra = failure.Extra;
    const std::int32_t ip = failure.IP;
    if (error == 0)
        return {};
    const QString A =
        QStringLiteral(" (") + QString::fromStdString(FormatIP(ip)) + QStringLiteral(":10004)");
    const QString U =
        QStringLiteral("Unknown Error Code: ") +
        QString::asprintf("0x%2.2X 0x%2.2X 0x%2.2X 0x%2.2X", op, error, detail, extra);
    const QString C = QStringLiteral("CPU Error Code: ") + QString::asprintf("0x%2.2X", detail);
    QString L;
    for (int n = 1; n <= levelCount && n <= 4; ++n)
        if (levelAddresses[static_cast<std::size_t>(n)] == extra)
            L = QStringLiteral(" (") +
                QString::fromStdString(levelNames[static_cast<std::size_t>(n)]) +
                QStringLiteral(")");
    auto read = [&](const char* what) {
        // "<what>" + L + A for a missing reply, "<what>" + L + ". " + C + A for a wrong one.
        const QString w = QString::fromLatin1(what);
        if (error == 2)
            return w + L + A;
        if (error == 3)
            return w + L + QStringLiteral(". ") + C + A;
        return U + A;
    };
    switch (op) {
    case 1:
        return error == 1 ? QStringLiteral("Can not connect") + A : U + A;
    case 2:
        return (error == 2 || error == 3) ? QStringLiteral("Routing switcher not found at ") + A
                                          : U + A;
    case 4:
        if (error == 2)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L;
        if (error == 3)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L +
                   QStringLiteral(". ") + C;
        if (error == 5)
            return QStringLiteral("Invalid size of Routing Switcher") + L + A;
        return U + A;
    case 5:
        return read("Cannot read Routing Switcher State");
    case 13:
        return read("Cannot read Routing Switcher HDMI state");
    case 7:
        return read("Cannot switch data");
    case 14:
        return read("Cannot switch HDMI data");
    case 11:
        return read("Cannot send Preset salvo");
    case 12:
        if (error == 2)
            return QStringLiteral("Cannot Take Preset salvo") + A;
        if (error == 3)
            return QStringLiteral("Cannot Take Preset salvo") + QStringLiteral(". ") + C + A;
        return U + A;
    default:
        return U + A;
    }
}
