#pragma once

// The contact list's columns by position from 1. Columns 1 to 3 show nothing;
// 9 shows when a contact in the Recycle bin was removed, and only there; 10 to
// 12 are hidden and hold the key and the whole item lists.
enum ListColumn {
    ColFirstName = 4,
    ColLastName = 5,
    ColCategory = 6,
    ColFirstPhone = 7,
    ColFirstMail = 8,
    ColRemoved = 9,
    ColContactID = 10,
    ColPhones = 11,
    ColMails = 12
};
