#include "editor/PhoneHint.h"

#include "duplicates/Phone.h"
#include "settings/mdlOptions.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QStyle>

void WatchPhoneNumber(QLineEdit *box)
{
    auto *warning = new QAction(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning), QString(), box);
    warning->setObjectName(QStringLiteral("actPhoneWarning"));
    warning->setVisible(false);
    box->addAction(warning, QLineEdit::TrailingPosition);
    auto check = [box, warning] {
        const QString number = box->text().trimmed();
        const QString region = Phone::RegionOr(PhoneRegion());
        const bool doubtful = !number.isEmpty() && !Phone::PossiblyValid(number, region);
        warning->setVisible(doubtful);
        const QString why = doubtful ? QStringLiteral("This does not look like a phone number that can be dialled "
                                                      "(numbers without + are taken as %1). It is kept as typed.")
                                           .arg(region)
                                     : QString();
        warning->setToolTip(why);
        box->setToolTip(why);
        box->setAccessibleDescription(why);
    };
    QObject::connect(box, &QLineEdit::textChanged, warning, check);
    check();
}
