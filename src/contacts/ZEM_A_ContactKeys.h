#pragma once
// The field keys of the contact record (ZEM_A_C_MO_AddressBook): what a host binds a
// control or a table column to, and what ZEM_A_E_ABEngine reads and writes in the address
// book. Every key but uid and imPersonStatus mirrors an address book value (see
// ZEM_A_C_MO_AddressBook::mirroredKeys()); all of them are strings but imPersonStatus.
//
//     contact->setValueForKey(u"+49 171 5550100"_s, ZEM_A_ContactKeys::phoneMobile);
//     const QString name = contact->valueForKey(ZEM_A_ContactKeys::lastName).toString();

#include <QString>

namespace ZEM_A_ContactKeys {

// Not mirrored: the person's unique id, and the status the instant-messaging watcher sets
inline const QString uid = QStringLiteral("uid");
inline const QString imPersonStatus = QStringLiteral("imPersonStatus");

// Names and work
inline const QString firstName = QStringLiteral("firstName");
inline const QString middleName = QStringLiteral("middleName");
inline const QString lastName = QStringLiteral("lastName");
inline const QString firstNamePhonetic = QStringLiteral("firstNamePhonetic");
inline const QString middleNamePhonetic = QStringLiteral("middleNamePhonetic");
inline const QString lastNamePhonetic = QStringLiteral("lastNamePhonetic");
inline const QString nickname = QStringLiteral("nickname");
inline const QString maidenName = QStringLiteral("maidenName");
inline const QString suffix = QStringLiteral("suffix");
inline const QString title = QStringLiteral("title");
inline const QString jobTitle = QStringLiteral("jobTitle");
inline const QString companyName = QStringLiteral("companyName");
inline const QString notes = QStringLiteral("notes");

// Dates, as "%Y-%m-%d %H:%M:%S %z" strings
inline const QString birthday = QStringLiteral("birthday");
inline const QString creationDate = QStringLiteral("creationDate");
inline const QString modificationDate = QStringLiteral("modificationDate");
inline const QString anniversary = QStringLiteral("anniversary");

// E-mail addresses
inline const QString homeEmail = QStringLiteral("homeEmail");
inline const QString workEmail = QStringLiteral("workEmail");
inline const QString otherEmail = QStringLiteral("otherEmail");

// Phone numbers
inline const QString phoneMain = QStringLiteral("phoneMain");
inline const QString phoneHome = QStringLiteral("phoneHome");
inline const QString phoneWork = QStringLiteral("phoneWork");
inline const QString phoneMobile = QStringLiteral("phoneMobile");
inline const QString phonePager = QStringLiteral("phonePager");
inline const QString phoneHomeFax = QStringLiteral("phoneHomeFax");
inline const QString phoneWorkFax = QStringLiteral("phoneWorkFax");
inline const QString phoneOther = QStringLiteral("phoneOther");

// Web pages
inline const QString mainPage = QStringLiteral("mainPage");
inline const QString homePage = QStringLiteral("homePage");
inline const QString workPage = QStringLiteral("workPage");
inline const QString otherPage = QStringLiteral("otherPage");

// Related names
inline const QString relationshipAssistant = QStringLiteral("relationshipAssistant");
inline const QString relationshipBrother = QStringLiteral("relationshipBrother");
inline const QString relationshipChild = QStringLiteral("relationshipChild");
inline const QString relationshipFather = QStringLiteral("relationshipFather");
inline const QString relationshipFriend = QStringLiteral("relationshipFriend");
inline const QString relationshipManager = QStringLiteral("relationshipManager");
inline const QString relationshipMother = QStringLiteral("relationshipMother");
inline const QString relationshipParent = QStringLiteral("relationshipParent");
inline const QString relationshipPartner = QStringLiteral("relationshipPartner");
inline const QString relationshipSister = QStringLiteral("relationshipSister");
inline const QString relationshipSpouse = QStringLiteral("relationshipSpouse");

// Instant messaging
inline const QString aimInstantHome = QStringLiteral("aimInstantHome");
inline const QString aimInstantWork = QStringLiteral("aimInstantWork");
inline const QString aimInstantOther = QStringLiteral("aimInstantOther");
inline const QString icqInstantHome = QStringLiteral("icqInstantHome");
inline const QString icqInstantWork = QStringLiteral("icqInstantWork");
inline const QString icqInstantOther = QStringLiteral("icqInstantOther");
inline const QString jabberInstantHome = QStringLiteral("jabberInstantHome");
inline const QString jabberInstantWork = QStringLiteral("jabberInstantWork");
inline const QString jabberInstantOther = QStringLiteral("jabberInstantOther");
inline const QString msnInstantHome = QStringLiteral("msnInstantHome");
inline const QString msnInstantWork = QStringLiteral("msnInstantWork");
inline const QString msnInstantOther = QStringLiteral("msnInstantOther");
inline const QString yahooInstantHome = QStringLiteral("yahooInstantHome");
inline const QString yahooInstantWork = QStringLiteral("yahooInstantWork");
inline const QString yahooInstantOther = QStringLiteral("yahooInstantOther");

// Addresses
inline const QString homeAddressStreet = QStringLiteral("homeAddressStreet");
inline const QString homeAddressCity = QStringLiteral("homeAddressCity");
inline const QString homeAddressState = QStringLiteral("homeAddressState");
inline const QString homeAddressZip = QStringLiteral("homeAddressZip");
inline const QString homeAddressCountry = QStringLiteral("homeAddressCountry");
inline const QString homeAddressCountryCode = QStringLiteral("homeAddressCountryCode");
inline const QString workAddressStreet = QStringLiteral("workAddressStreet");
inline const QString workAddressCity = QStringLiteral("workAddressCity");
inline const QString workAddressState = QStringLiteral("workAddressState");
inline const QString workAddressZip = QStringLiteral("workAddressZip");
inline const QString workAddressCountry = QStringLiteral("workAddressCountry");
inline const QString workAddressCountryCode = QStringLiteral("workAddressCountryCode");
inline const QString otherAddressStreet = QStringLiteral("otherAddressStreet");
inline const QString otherAddressCity = QStringLiteral("otherAddressCity");
inline const QString otherAddressState = QStringLiteral("otherAddressState");
inline const QString otherAddressZip = QStringLiteral("otherAddressZip");
inline const QString otherAddressCountry = QStringLiteral("otherAddressCountry");
inline const QString otherAddressCountryCode = QStringLiteral("otherAddressCountryCode");

} // namespace ZEM_A_ContactKeys
