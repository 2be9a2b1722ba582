#pragma once

#include <QString>

// The names and texts that tell the three list pages apart.
struct ItemPageDesign
{
    QString page;           // page container, e.g. "TabPhones"
    QString grid;           // "grdPhones"
    QString heading;        // item column heading, "Phones"
    QString toolbar;        // "tlbrPhones"
    QString host;           // "cToolbarHostPhones"
    QString prompt;         // item editor prompt, "Phone number:"
    QString inlineLabel;    // label of the inline item box
    QString itemLabel;      // names of the inline controls
    QString itemBox;
    QString descriptionLabel;
    QString descriptionBox;
    QString addButton;

    static ItemPageDesign Phones();
    static ItemPageDesign Mails();
    static ItemPageDesign Sites();
};
