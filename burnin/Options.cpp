#include "Options.h"

#include "System.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const char* const Usage = R"(Использование: tr7042k-burnin [параметры] ПОРТ...
               tr7042k-burnin --window [параметры] [ПОРТ...]

Полный тест консоли TR7042K без оператора, на нескольких принтерах сразу: для
каждого принтера запускается своя консоль в пакетном режиме, ход теста виден по
строке на принтер, а в конце пишется отчет для сервисного центра.

)";

const char* const OptionsHelp = R"(
  --passes N            число проходов теста (по умолчанию 1)
  --delay MS            задержка между подтестами, мс (по умолчанию 1500)
  --no-fiscal           без фискальных чеков и Z-отчета
  --baud B              скорость: 9600, 19200, 57600 или 115200 (по умолчанию 19200)
  --cashier K           кассир, оператор 1..13 (по умолчанию 1)
  --password P          пароль кассира (по умолчанию 5917)
  --program-password P  пароль программирования артикулов (по умолчанию 5917)
  --report-password P   пароль отчетов (по умолчанию 5917)
  --out DIR             папка результатов; по умолчанию новая папка
                        burnin-ГГГГ-ММ-ДД-ЧЧММСС в текущей папке
  --window              окно проверки партии: находит принтеры на портах (без
                        ПОРТ - на всех портах, которые знает tr7042k-ports),
                        запускает тест и показывает его ход; параметры выше
                        заполняют его поля
  --help                эта справка
  --version             версия программы

В папке результатов: папка на принтер (порт и заводской номер) с журналом теста
и журналом обмена fpllog.dat, отчеты report.json, report.csv и report.html.

Ctrl-C останавливает все принтеры на ближайшей контрольной точке теста и пишет
журналы и отчет; второй Ctrl-C завершает работу сразу.

Коды выхода: 0 - все принтеры прошли тест; 1 - есть ошибки в шагах теста;
2 - принтер не подключился или не годится для теста (важнее, чем 1);
3 - неверный вызов; 130 - остановлено по Ctrl-C.
)";

constexpr int MaxPassword = 32; // the console's password fields take at most 32 characters
constexpr int Cashiers = 13; // the console offers cashiers "Оператор 1" to "Оператор 13"
constexpr int Rates[] = {9600, 19200, 57600, 115200};

bool WholeNumber(const QString& text, int least, int& value) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch()) return false;
    value = text.toInt();
    return value >= least;
}

} // namespace

bool IsConsoleRate(int baud) {
    return std::find(std::begin(Rates), std::end(Rates), baud) != std::end(Rates);
}

QByteArray HelpText() {
    return QByteArray(Usage) + PortHelp + OptionsHelp;
}

QString FileLabel(const QString& text) {
    QString label;
    for (const QChar c : text)
        label += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('.') ||
                         c == QLatin1Char('-') || c == QLatin1Char('_')
                     ? c
                     : QLatin1Char('_');
    return label;
}

bool AddPort(TOptions& o, TPort port, QString& error) {
    for (const TPort& other : o.Ports)
        if (other.Name == port.Name) {
            error = QStringLiteral("порт %1 назван дважды").arg(port.Name);
            return false;
        }
    // Two device paths with one file name still get folders of their own.
    const auto taken = [&](const QString& label) {
        return std::any_of(o.Ports.begin(), o.Ports.end(),
                           [&](const TPort& other) { return other.Label == label; });
    };
    const QString base = port.Label;
    for (int n = 2; taken(port.Label); ++n)
        port.Label = QStringLiteral("%1-%2").arg(base).arg(n);
    o.Ports << port;
    return true;
}

bool ParseOptions(const QStringList& arguments, TOptions& o, QString& error) {
    for (int i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            inlineValue = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
        }
        const auto value = [&](QString& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("у параметра %1 нет значения").arg(arg);
                return false;
            }
            out = arguments[++i];
            return true;
        };
        const auto number = [&](int least, int& target, const QString& what) {
            QString text;
            if (!value(text)) return false;
            if (WholeNumber(text, least, target)) return true;
            error = QStringLiteral("%1: «%2»").arg(what, text);
            return false;
        };
        const auto password = [&](std::optional<QString>& target) {
            QString text;
            if (!value(text)) return false;
            if (text.size() > MaxPassword) {
                error = QStringLiteral("пароль %1 длиннее %2 знаков").arg(arg).arg(MaxPassword);
                return false;
            }
            target = text;
            return true;
        };
        bool ok = true;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.Help = true;
        } else if (arg == QLatin1String("--version")) {
            o.Version = true;
        } else if (arg == QLatin1String("--passes")) {
            ok = number(1, o.Passes, QStringLiteral("неверное количество проходов"));
        } else if (arg == QLatin1String("--delay")) {
            ok = number(0, o.Delay, QStringLiteral("неверная задержка между подтестами"));
        } else if (arg == QLatin1String("--no-fiscal")) {
            o.NoFiscal = true;
        } else if (arg == QLatin1String("--window")) {
            o.Window = true;
        } else if (arg == QLatin1String("--baud")) {
            ok = number(1, o.Baud, QStringLiteral("неверная скорость"));
            if (ok && !IsConsoleRate(o.Baud)) {
                error = QStringLiteral("скорость %1 консоль не предлагает: 9600, 19200, 57600 "
                                       "или 115200")
                            .arg(o.Baud);
                ok = false;
            }
        } else if (arg == QLatin1String("--cashier")) {
            ok = number(1, o.Cashier, QStringLiteral("неверный номер кассира"));
            if (ok && o.Cashier > Cashiers) {
                error = QStringLiteral("кассира %1 нет: консоль предлагает кассиров 1..%2")
                            .arg(o.Cashier)
                            .arg(Cashiers);
                ok = false;
            }
        } else if (arg == QLatin1String("--password")) {
            ok = password(o.Password);
        } else if (arg == QLatin1String("--program-password")) {
            ok = password(o.ProgramPassword);
        } else if (arg == QLatin1String("--report-password")) {
            ok = password(o.ReportPassword);
        } else if (arg == QLatin1String("--out")) {
            ok = value(o.Out);
            if (ok && o.Out.isEmpty()) {
                error = QStringLiteral("пустое имя папки результатов");
                ok = false;
            }
        } else if (arg.startsWith(QLatin1Char('-'))) {
            error = QStringLiteral("неизвестный параметр %1").arg(arg);
            ok = false;
        } else {
            TPort port;
            ok = ParsePort(arg, port, error) && AddPort(o, port, error);
        }
        if (!ok) return false;
    }
    if (!o.Help && !o.Version && !o.Window && o.Ports.isEmpty()) {
        error = QStringLiteral("не назван ни один порт");
        return false;
    }
    return true;
}
