#include "duplicates/Phone.h"

#include <QLocale>

#include <algorithm>
#include <thread>
#include <vector>

#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

// Read, and of a length that can be a number of its country.
bool parse(const QString &number, const QString &region, PhoneNumber *out)
{
    if (number.trimmed().isEmpty())
        return false;
    PhoneNumberUtil *util = PhoneNumberUtil::GetInstance();
    if (util->Parse(number.toStdString(), region.toUpper().toStdString(), out) != PhoneNumberUtil::NO_PARSING_ERROR)
        return false;
    switch (util->IsPossibleNumberWithReason(*out)) {
    case PhoneNumberUtil::IS_POSSIBLE:
    case PhoneNumberUtil::IS_POSSIBLE_LOCAL_ONLY:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace Phone {

QString ToE164(const QString &number, const QString &region)
{
    PhoneNumber parsed;
    if (!parse(number, region, &parsed))
        return QString();
    std::string e164;
    PhoneNumberUtil::GetInstance()->Format(parsed, PhoneNumberUtil::E164, &e164);
    return QString::fromStdString(e164);
}

QStringList ToE164(const QStringList &numbers, const QString &region)
{
    PhoneNumberUtil::GetInstance(); // made once, before the threads share it
    QStringList out(numbers.size());
    const qsizetype threads =
        std::clamp<qsizetype>(std::min<qsizetype>(std::thread::hardware_concurrency(), numbers.size() / 256), 1, 8);
    QString *dst = out.data(); // detached here, not in the threads
    auto work = [&, dst](qsizetype part) {
        for (qsizetype i = part; i < numbers.size(); i += threads)
            dst[i] = ToE164(numbers.at(i), region);
    };
    std::vector<std::thread> pool;
    for (qsizetype t = 1; t < threads; ++t)
        pool.emplace_back(work, t);
    work(0);
    for (std::thread &t : pool)
        t.join();
    return out;
}

bool PossiblyValid(const QString &number, const QString &region)
{
    PhoneNumber parsed;
    return parse(number, region, &parsed);
}

QString DialledDigits(QStringView number)
{
    static const char keypad[] = "22233344455566677778889999";
    QString out;
    out.reserve(number.size());
    for (qsizetype i = 0; i < number.size(); ++i) {
        const char16_t c = number[i].unicode();
        if (c >= u'0' && c <= u'9') {
            out += QChar(c);
            continue;
        }
        const QChar ch(c);
        if (ch.isDigit()) { // other scripts' digits
            out += QChar(u'0' + ch.digitValue());
            continue;
        }
        const char16_t upper = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        if (upper == u'#' || upper == u';' || upper == u',')
            break;
        // "x12", "ext 12", "ext.12": the extension begins.
        if (upper == u'X' || (upper == u'E' && number.mid(i, 3).compare(QLatin1String("ext"), Qt::CaseInsensitive) == 0))
            break;
        if (upper >= u'A' && upper <= u'Z')
            out += QLatin1Char(keypad[upper - u'A']);
    }
    return out;
}

QString RegionOr(const QString &chosen)
{
    return chosen.isEmpty() ? DefaultRegion() : chosen;
}

QString DefaultRegion()
{
    const QString code = QLocale::territoryToCode(QLocale::system().territory());
    return code.size() == 2 ? code.toUpper() : QStringLiteral("US");
}

} // namespace Phone
