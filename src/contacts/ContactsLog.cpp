#include "ContactsLog.h"

Q_LOGGING_CATEGORY(zemContacts, "zem.contacts")
