#include "editor/ItemPageDesign.h"

namespace {

ItemPageDesign design(const char *page, const char *kind, const char *heading, const char *toolbar,
                      const char *host, const char *prompt, const char *inlineLabel)
{
    const QString k = QLatin1String(kind);
    ItemPageDesign d;
    d.page = QLatin1String(page);
    d.grid = QStringLiteral("grd") + k + QStringLiteral("s");
    d.heading = QLatin1String(heading);
    d.toolbar = QLatin1String(toolbar);
    d.host = QLatin1String(host);
    d.prompt = QLatin1String(prompt);
    d.inlineLabel = QLatin1String(inlineLabel);
    d.itemLabel = QStringLiteral("lbl") + k + QStringLiteral("Item");
    d.itemBox = QStringLiteral("txt") + k + QStringLiteral("Item");
    d.descriptionLabel = QStringLiteral("lbl") + k + QStringLiteral("Description");
    d.descriptionBox = QStringLiteral("txt") + k + QStringLiteral("Description");
    d.addButton = QStringLiteral("cmdAdd") + k + QStringLiteral("s");
    return d;
}

} // namespace

ItemPageDesign ItemPageDesign::Phones()
{
    return design("TabPhones", "Phone", "Phones", "tlbrPhones", "cToolbarHostPhones", "Phone number:",
                  "Phone number:");
}

ItemPageDesign ItemPageDesign::Mails()
{
    return design("TabMails", "Mail", "Mails", "tlbrMail", "cToolbarHostMails", "E-Mail address:", "E-Mail address:");
}

ItemPageDesign ItemPageDesign::Sites()
{
    return design("TabWebSites", "Site", "Web Sites", "tlbrSites", "cToolbarHostSites", "Web-site address:",
                  "Site address:");
}
