#pragma once

// Putting two versions of a contact together when both changed since they
// last agreed: what only one side changed is taken from that side; where both
// changed the same field the winner's value stays, and what the loser has that
// the winner lacks (a phone number more, a birthday only on the server) is
// kept too. Without the version they last agreed on, every field the winner
// leaves empty takes the loser's value.

#include "interchange/ContactCard.h"

namespace CardMerge {

ContactCard::Contact Merge(const ContactCard::Contact &winner, const ContactCard::Contact &loser,
                           const ContactCard::Contact *base);

// Whether the two say the same (Date_Registed, the picture's file name and the
// UID aside; the picture by its bytes).
bool Same(const ContactCard::Contact &a, const ContactCard::Contact &b);

} // namespace CardMerge
