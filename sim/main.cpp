#include "Simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

const char* const HelpBefore =
    R"(Commands on standard input (chassis numbers from 1, outputs and inputs from 1):
  route C LEVEL OUTPUT INPUT      another operator routes INPUT to OUTPUT
  lock C LEVEL OUTPUT             another operator toggles the lock of OUTPUT
  monitor C LEVEL OUTPUT          another operator picks the monitored output
  alarm C temp|fan|voltage|current1|current2 on|off
  fault C COMMAND|any KIND [COUNT [P1 [P2]]]
)";

const char* const HelpAfter =
    R"(  accept C normal|close|reset     close or reset every new connection at once
  supply C 1|2 present|absent|fault|ok      power-supply module state (utility, command 102)
  supply C 1|2 volts|current|fan|temp N    its voltage (0.1 V), current (mA), fan (rev/s), temp (C)
  converter C 1..10 MV            DC/DC converter output voltage in mV
  climate C overheat|ventilation 0|1
  sfp C rx|tx SLOT type N|name TEXT|power N|wave NM   one SFP slot (1..32): type 0 none,
                                  7 optical, other electrical; power in 0.1 dB
  hdmi C meter1|meter2 0|1        HDMI monitor values as another operator sets them;
  hdmi C group1|group2|slider1|slider2|max|scale|dbfs|dbu|stream|groups N
  hdmi C standard CODE NAME       the input standard
  reference C STATE NAME          reference state (0: none) and name
  psu C 1|2 present|absent        a power supply as the configuration reply shows it
  clear C                         remove every fault of chassis C
  refuse C on|off                 refuse new connections
  status                          list chassis and their client counts
  requests C                      print the request frames chassis C received since the last
                                  call (the last 10000 are kept)
  quit
)";

// The help text; the fault kinds come from the simulator's own table.
std::string CommandHelp() {
    std::string text = HelpBefore;
    std::string line = "        KIND:";
    for (const sim::TFaultKind& k : sim::FaultKinds()) {
        if (line.size() + 1 + std::strlen(k.Name) > 78) {
            text += line + "\n";
            line = "             ";
        }
        line += std::string(" ") + k.Name;
    }
    text += line + "; COUNT -1 = until cleared\n";
    for (const sim::TFaultKind& k : sim::FaultKinds())
        if (k.Note)
            text += std::string("        ") + k.Name + ": " + k.Note + "\n";
    return text + HelpAfter;
}

// One command line from standard input; returns false on "quit".
bool Execute(sim::TSimulator& simulator, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    if (!(in >> verb))
        return true;
    if (verb == "quit")
        return false;
    if (verb == "help") {
        std::cout << CommandHelp() << std::flush;
        return true;
    }
    if (verb == "status") {
        int i = 1;
        for (sim::TChassis* c : simulator.Chassis())
            std::cout << i++ << ' ' << c->Config().Address.toString().toStdString() << ':'
                      << c->Config().Port << " clients " << c->ClientCount() << '\n';
        std::cout << std::flush;
        return true;
    }
    int index = 0;
    if (!(in >> index) || index < 1 || index > static_cast<int>(simulator.Chassis().size())) {
        std::cout << "error: no such chassis\n" << std::flush;
        return true;
    }
    sim::TChassis* c = simulator.Chassis()[static_cast<std::size_t>(index - 1)];
    int a = 0, b = 0, d = 0;
    std::string word, onOff;
    bool ok = true;
    if (verb == "route" && (in >> a >> b >> d)) {
        c->ExternalRoute(a, b - 1, d - 1);
    } else if (verb == "lock" && (in >> a >> b)) {
        c->ExternalToggleLock(a, b - 1);
    } else if (verb == "monitor" && (in >> a >> b)) {
        c->ExternalMonitor(a, b - 1);
    } else if (verb == "alarm" && (in >> word >> onOff)) {
        const std::uint16_t bit = onOff == "on" ? 0x8000 : 0;
        auto set = [bit](std::uint16_t& v) { v = static_cast<std::uint16_t>((v & 0x7FFF) | bit); };
        c->SetHealth([&](sim::THealth& h) {
            if (word == "temp")
                set(h.Temperature);
            else if (word == "fan")
                set(h.FanSpeed);
            else if (word == "voltage")
                set(h.Voltage);
            else if (word == "current1")
                set(h.Psu1Current);
            else if (word == "current2")
                set(h.Psu2Current);
            else
                ok = false;
        });
    } else if (verb == "hdmi" && (in >> word)) {
        int n = 0;
        std::string name;
        in >> n;
        std::getline(in >> std::ws, name);
        const auto v = static_cast<std::uint16_t>(n & 0xFFFF);
        c->SetHdmi([&](sim::THdmi& h) {
            if (word == "meter1" || word == "meter2")
                h.MeterOn[word == "meter2" ? 1 : 0] = v;
            else if (word == "group1" || word == "group2")
                h.MeterGroup[word == "group2" ? 1 : 0] = v;
            else if (word == "slider1" || word == "slider2")
                h.MeterSlider[word == "slider2" ? 1 : 0] = v;
            else if (word == "max")
                h.SliderMax = v;
            else if (word == "scale")
                h.ScaleMode = v;
            else if (word == "dbfs")
                h.DbfsRef = v;
            else if (word == "dbu")
                h.DbuRef = v;
            else if (word == "stream")
                h.StreamMode = v;
            else if (word == "groups")
                h.Groups = v;
            else if (word == "standard") {
                h.StandardCode = v;
                h.StandardName = QByteArray::fromStdString(name);
            } else
                ok = false;
        });
    } else if (verb == "reference" && (in >> a)) {
        std::string name;
        std::getline(in >> std::ws, name);
        c->SetHealth([&](sim::THealth& h) {
            h.RefState = static_cast<std::uint16_t>(a & 0xFFFF);
            h.RefName = QByteArray::fromStdString(name);
        });
    } else if (verb == "psu" && (in >> a >> word) && (a == 1 || a == 2) &&
               (word == "present" || word == "absent")) {
        const std::uint16_t present = word == "present" ? 1 : 0;
        c->SetHealth([&](sim::THealth& h) { (a == 1 ? h.Psu1Present : h.Psu2Present) = present; });
    } else if (verb == "fault" && (in >> word >> onOff)) {
        sim::TFaultRule rule;
        rule.Command = word == "any" ? 0 : std::atoi(word.c_str());
        ok = sim::ParseFaultName(onOff, rule.Kind);
        in >> rule.Remaining >> rule.P1 >> rule.P2;
        if (ok)
            c->AddFault(rule);
    } else if (verb == "supply" && (in >> a >> word) && (a == 1 || a == 2)) {
        const int m = a - 1; // module 1 or 2
        if (word == "present" || word == "absent")
            c->SetPowerWord(2 + m, word == "present" ? 1 : 0);
        else if (word == "fault" || word == "ok")
            c->SetPowerWord(4 + m, word == "fault" ? 1 : 0);
        else if (word == "volts" && (in >> b))
            c->SetPowerWord(27 + 4 * m, b & 0xFFFF);
        else if (word == "current" && (in >> b))
            c->SetPowerWord(26 + 4 * m, b & 0xFFFF);
        else if (word == "fan" && (in >> b))
            c->SetPowerWord(28 + 4 * m, b & 0xFFFF);
        else if (word == "temp" && (in >> b))
            c->SetPowerWord(29 + 4 * m, b & 0xFFFF);
        else
            ok = false;
    } else if (verb == "converter" && (in >> a >> b) && a >= 1 && a <= 10) {
        c->SetPowerWord(6 + 2 * (a - 1), b & 0xFFFF);
    } else if (verb == "climate" && (in >> word >> b) &&
               (word == "overheat" || word == "ventilation")) {
        c->SetPowerWord(word == "overheat" ? 34 : 35, b & 0xFFFF);
    } else if (verb == "sfp" && (in >> word >> a) && (word == "rx" || word == "tx") && a >= 1 &&
               a <= 32) {
        std::string field;
        in >> field;
        std::string rest;
        std::getline(in >> std::ws, rest);
        const int value = std::atoi(rest.c_str());
        if (field == "type" || field == "power" || field == "wave" || field == "name")
            c->SetSfpSlot(word == "tx", a - 1, [&](sim::TSfpSlot& slot) {
                if (field == "type")
                    slot.Type = value & 0xFFFF;
                else if (field == "power")
                    slot.Power = value & 0xFFFF;
                else if (field == "wave")
                    slot.Wavelength = value & 0xFFFF;
                else
                    slot.Name = QByteArray::fromStdString(rest);
            });
        else
            ok = false;
    } else if (verb == "requests") {
        for (const simframe::Words& frame : c->TakeRequests()) {
            std::cout << "frame";
            for (std::uint16_t w : frame)
                std::cout << ' ' << w;
            std::cout << '\n';
        }
    } else if (verb == "clear") {
        c->ClearFaults();
    } else if (verb == "accept" && (in >> word) &&
               (word == "normal" || word == "close" || word == "reset")) {
        c->SetAcceptMode(word == "close"   ? sim::TAcceptMode::Close
                         : word == "reset" ? sim::TAcceptMode::Reset
                                           : sim::TAcceptMode::Normal);
    } else if (verb == "refuse" && (in >> onOff)) {
        c->SetRefusing(onOff == "on");
    } else {
        ok = false;
    }
    std::cout << (ok ? "ok\n" : "error: see help\n") << std::flush;
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("switchersim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MATRIXPANEL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Emulates routing switcher chassis on TCP for the panel and the utility.\n"
            "Without --chassis one chassis runs on 127.0.0.1:10004 with level 1, 16x16.\n\n") +
        QString::fromStdString(CommandHelp()));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("chassis"),
         QStringLiteral("A chassis: ADDRESS[:PORT][:levels=A,B,..][:size=INPUTSxOUTPUTS]. "
                        "Repeat for more chassis; it listens only on ADDRESS."),
         QStringLiteral("chassis")});
    parser.process(app);

    QStringList chassisTexts = parser.values(QStringLiteral("chassis"));
    if (chassisTexts.isEmpty())
        chassisTexts << QStringLiteral("127.0.0.1");
    sim::TSimulator simulator;
    for (const QString& text : chassisTexts) {
        sim::TChassisConfig config;
        QString error;
        if (!sim::ParseChassisText(text, config, error)) {
            std::fprintf(stderr, "switchersim: %s\n", qPrintable(error));
            return 2;
        }
        if (!simulator.AddChassis(config, &error)) {
            std::fprintf(stderr, "switchersim: cannot listen on %s: %s\n", qPrintable(text),
                         qPrintable(error));
            return 1;
        }
        std::printf("chassis %s:%d levels %s size %dx%d\n", qPrintable(config.Address.toString()),
                    config.Port, qPrintable([&] {
                        QStringList l;
                        for (int a : config.Levels)
                            l << QString::number(a);
                        return l.join(QLatin1Char(','));
                    }()),
                    config.Inputs, config.Outputs);
    }
    std::fflush(stdout);

    // Standard input carries commands; at its end the simulator keeps running
    // until it is stopped by a signal or "quit".
    std::thread reader([&] {
        std::string line;
        while (std::getline(std::cin, line))
            if (!Execute(simulator, line)) {
                QMetaObject::invokeMethod(&app, [] { QCoreApplication::quit(); });
                return;
            }
    });
    reader.detach();
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    std::signal(SIGINT, [](int) { std::_Exit(0); });
    return QCoreApplication::exec();
}
