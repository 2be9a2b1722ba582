#include "settings/mdlOptions.h"

#include "context/AppContext.h"
#include "settings/VbConvert.h"

#include <functional>

using namespace Reg;

namespace {

const QString kOptions = QStringLiteral("Options");
const QString kDisplay = QStringLiteral("Display");

// One stored option: absent, present and converted, or present but unusable.
template<typename T>
struct Read
{
    bool stored = false;
    std::optional<T> value;
};

Read<int> readCheckBox(const RegistryRoutines &reg, const QString &name)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    std::optional<qint32> n = VbToLong(v);
    // A check box holds unchecked, checked or grayed; it refuses anything else.
    if (n && (*n < 0 || *n > 2))
        n.reset();
    return {true, n};
}

Read<bool> readBoolean(const RegistryRoutines &reg, const QString &name)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    return {true, VbToBoolean(v)};
}

Read<int> readRange(const RegistryRoutines &reg, const QString &name, int low, int high)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    std::optional<qint32> n = VbToLong(v);
    if (n && (*n < low || *n > high))
        n.reset();
    return {true, n};
}

Read<qint32> readColor(const RegistryRoutines &reg, const QString &name)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    return {true, VbToLong(v)};
}

// Not stored: the default. Stored but unusable: `target` unchanged.
template<typename T, typename U, typename Convert>
std::optional<T> apply(const Read<T> &read, U &target, U fallback, Convert convert)
{
    if (!read.stored)
        target = fallback;
    else if (read.value)
        target = convert(*read.value);
    return read.value;
}

Read<QString> readRegion(const RegistryRoutines &reg, const QString &name)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    const QString text = v.toString().trimmed().toUpper();
    const bool twoLetters = text.size() == 2 && text.at(0) >= QLatin1Char('A') && text.at(0) <= QLatin1Char('Z') &&
                            text.at(1) >= QLatin1Char('A') && text.at(1) <= QLatin1Char('Z');
    if (text.isEmpty() || twoLetters)
        return {true, text};
    return {true, std::nullopt};
}

Read<QString> readPolicy(const RegistryRoutines &reg, const QString &name)
{
    const QVariant v = reg.GetRegistryValue(name);
    if (!v.isValid())
        return {};
    const QString text = v.toString().trimmed().toLower();
    for (const char *known : {"ask", "local", "server", "keep-both"}) {
        if (text == QLatin1String(known))
            return {true, text};
    }
    return {true, std::nullopt};
}

bool isChecked(int v)
{
    return v == 1;
}

bool save(RegistryRoutines &reg, const QString &subkey, const QString &name, const QVariant &value)
{
    reg.setSubkey(subkey);
    return reg.SetRegistryValue(name, value, REG_SZ);
}

} // namespace

OptionState &Options()
{
    static OptionState state;
    return state;
}

StoredOptions GetOptions(RegistryRoutines &reg)
{
    OptionState &o = Options();
    StoredOptions s;

    reg.setSubkey(kOptions);
    s.chkRunWhenWindowsStarts = apply(readCheckBox(reg, QStringLiteral("chkRunWhenWindowsStarts")),
                                      o.OptRunWhenWindowsStarts, false, isChecked);
    bool firstName = o.OptSortByFirstName;
    s.ptnSortByFirstName = apply(readBoolean(reg, QStringLiteral("ptnSortByFirstName")), firstName, false, std::identity());
    // The last-name choice is shown in the dialog only; read under this spelling,
    // the store finds "ptnSortByLastName" all the same.
    bool lastName = false;
    s.ptnSortByLastName = apply(readBoolean(reg, QStringLiteral("ptnSortBylastName")), lastName, false, std::identity());
    o.OptSortByFirstName = firstName;
    s.HistoryDays = apply(readRange(reg, QStringLiteral("HistoryDays"), 1, 3650), o.OptHistoryDays, 90, std::identity());
    s.HistorySteps =
        apply(readRange(reg, QStringLiteral("HistorySteps"), 10, 100000), o.OptHistorySteps, 1000, std::identity());
    s.chkFoldAccents = apply(readCheckBox(reg, QStringLiteral("chkFoldAccents")), o.OptFoldAccents, true, isChecked);
    s.PhoneRegion = apply(readRegion(reg, QStringLiteral("PhoneRegion")), o.OptPhoneRegion, QString(), std::identity());
    s.SyncMinutes = apply(readRange(reg, QStringLiteral("SyncMinutes"), 0, 1440), o.OptSyncMinutes, 15, std::identity());
    s.SyncPolicy = apply(readPolicy(reg, QStringLiteral("SyncPolicy")), o.OptSyncPolicy, QStringLiteral("keep-both"),
                         std::identity());

    reg.setSubkey(kDisplay);
    s.chkHoTrack = apply(readCheckBox(reg, QStringLiteral("chkHoTrack")), o.OptHoTrack, false, isChecked);
    s.chkViewGrid = apply(readCheckBox(reg, QStringLiteral("chkViewGrid")), o.OptViewGrid, false, isChecked);
    s.picColor = apply(readColor(reg, QStringLiteral("picColor")), o.OptAppColor, qint32(0), std::identity());
    s.picTextColor = apply(readColor(reg, QStringLiteral("picTextColor")), o.OptTextColor, qint32(0), std::identity());
    return s;
}

DisplayLook LookFrom(const StoredOptions &stored)
{
    DisplayLook look;
    if (stored.picColor)
        look.titleBackground = *stored.picColor;
    if (stored.picTextColor)
        look.titleText = *stored.picTextColor;
    if (stored.chkViewGrid)
        look.gridLines = *stored.chkViewGrid == 1;
    if (stored.chkHoTrack)
        look.hotTrack = *stored.chkHoTrack == 1;
    return look;
}

StoredOptions GetOptions()
{
    RegistryRoutines reg = OptionsRegistry();
    return GetOptions(reg);
}

RegistryRoutines OptionsRegistry()
{
    if (App().ProductName.isEmpty() || App().VendorSegment.isEmpty())
        InitProductConstants();
    RegistryRoutines reg;
    reg.setHkey(HKEY_LOCAL_MACHINE);
    reg.setKeyRoot(QStringLiteral("SOFTWARE\\") + App().VendorSegment + QLatin1Char('\\') + App().ProductName);
    return reg;
}

bool EnsureOptionKeys()
{
    RegistryRoutines reg = OptionsRegistry();
    bool ok = true;
    for (const QString &subkey : {kOptions, kDisplay})
        ok = reg.CreateKey(subkey) == QLatin1String("0") && ok;
    return ok;
}

bool SaveRunWhenWindowsStarts(RegistryRoutines &reg, int chkValue)
{
    return save(reg, kOptions, QStringLiteral("chkRunWhenWindowsStarts"), chkValue);
}

bool SaveSortByFirstName(RegistryRoutines &reg, bool selected)
{
    return save(reg, kOptions, QStringLiteral("ptnSortByFirstName"), selected);
}

bool SaveSortByLastName(RegistryRoutines &reg, bool selected)
{
    return save(reg, kOptions, QStringLiteral("ptnSortByLastName"), selected);
}

bool SaveHoTrack(RegistryRoutines &reg, int chkValue)
{
    return save(reg, kDisplay, QStringLiteral("chkHoTrack"), chkValue);
}

bool SaveViewGrid(RegistryRoutines &reg, int chkValue)
{
    return save(reg, kDisplay, QStringLiteral("chkViewGrid"), chkValue);
}

bool SaveAppColor(RegistryRoutines &reg, qint32 color)
{
    return save(reg, kDisplay, QStringLiteral("picColor"), color);
}

bool SaveTextColor(RegistryRoutines &reg, qint32 color)
{
    return save(reg, kDisplay, QStringLiteral("picTextColor"), color);
}

bool SaveFoldAccents(RegistryRoutines &reg, int chkValue)
{
    return save(reg, kOptions, QStringLiteral("chkFoldAccents"), chkValue);
}

bool SavePhoneRegion(RegistryRoutines &reg, const QString &region)
{
    return save(reg, kOptions, QStringLiteral("PhoneRegion"), region);
}

bool SaveSync(RegistryRoutines &reg, int minutes, const QString &policy)
{
    return save(reg, kOptions, QStringLiteral("SyncMinutes"), minutes) &&
           save(reg, kOptions, QStringLiteral("SyncPolicy"), policy);
}

QString PhoneRegion()
{
    return Options().OptPhoneRegion;
}

bool SaveHistory(RegistryRoutines &reg, int days, int steps)
{
    return save(reg, kOptions, QStringLiteral("HistoryDays"), days) &&
           save(reg, kOptions, QStringLiteral("HistorySteps"), steps);
}
