#include "ZEM_A_L_Language.h"

#include "foundation/ZEM_F_ClassRegistry.h"

#include <memory>

namespace {
// The language engine finds the English defaults by this class name.
const bool registered = ZEM_F_ClassRegistry::registerShared(
    QStringLiteral("ZEM_A_L_Language"), [] { return static_cast<QObject *>(ZEM_A_L_Language::shared()); });
} // namespace

ZEM_A_L_Language::ZEM_A_L_Language(QObject *parent) : ZEM_F_B_Language(parent) {}

ZEM_A_L_Language::~ZEM_A_L_Language() = default;

ZEM_A_L_Language *ZEM_A_L_Language::shared()
{
    static ZEM_A_L_Language *const table = new ZEM_A_L_Language;
    return table;
}

bool ZEM_A_L_Language::isRegistered() { return registered; }

ZEM_F_StringTable *ZEM_A_L_Language::lk()
{
    if (ZEM_F_StringTable *table = storedLk())
        return table;
    setLk(std::make_unique<ZEM_F_StringTable>());
    k(QStringLiteral("A:AddressBook"), QStringLiteral("Address Book Alert:"), this);
    k(QStringLiteral("A:Delete"), QStringLiteral("Delete Alert:"), this);
    k(QStringLiteral("A:DeleteNotes"), QStringLiteral("Delete Notes Alert:"), this);
    k(QStringLiteral("A:Email"), QStringLiteral("Email Alert:"), this);
    k(QStringLiteral("A:EmailAddress"), QStringLiteral("Email Address Alert:"), this);
    k(QStringLiteral("A:EmailSend"), QStringLiteral("Send Email Alert:"), this);
    k(QStringLiteral("A:EmailSMTP"), QStringLiteral("Email SMTP Alert:"), this);
    k(QStringLiteral("A:FileSystem"), QStringLiteral("File System Alert:"), this);
    k(QStringLiteral("A:ICal"), QStringLiteral("iCal %@ Alert:"), this);
    k(QStringLiteral("A:ICalEvent"), QStringLiteral("iCal Event Alert:"), this);
    k(QStringLiteral("A:ICalToDo"), QStringLiteral("iCal Todo Alert:"), this);
    k(QStringLiteral("A:Menu"), QStringLiteral("Menu Alert:"), this);
    k(QStringLiteral("A:TextEdit"), QStringLiteral("TextEdit Alert:"), this);
    k(QStringLiteral("A:ThankYou"), QStringLiteral("Thank You:"), this);
    k(QStringLiteral("A:WebSite"), QStringLiteral("Web Site Alert:"), this);
    k(QStringLiteral("A:Skype"), QStringLiteral("Skype Alert:"), this);
    k(QStringLiteral("A:Vonage"), QStringLiteral("Vonage Alert:"), this);
    k(QStringLiteral("A:WebFones"), QStringLiteral("WebFones Alert:"), this);
    k(QStringLiteral("A:XLite"), QStringLiteral("X-Lite Alert:"), this);
    k(QStringLiteral("B:Box"), QStringLiteral("Box"), this);
    k(QStringLiteral("B:Column"), QStringLiteral("Column"), this);
    k(QStringLiteral("B:Feedback"), QStringLiteral("Feedback"), this);
    k(QStringLiteral("B:Hide"), QStringLiteral("Hide"), this);
    k(QStringLiteral("B:Open"), QStringLiteral("Open"), this);
    k(QStringLiteral("B:PullDownButton"), QStringLiteral("Pull Down Button"), this);
    k(QStringLiteral("B:QuitAnyway"), QStringLiteral("Quit Anyway"), this);
    k(QStringLiteral("B:ToolBarItem"), QStringLiteral("Tool Bar Item"), this);
    k(QStringLiteral("L:CallWebFones"), QStringLiteral("Dial with WebFones"), this);
    k(QStringLiteral("L:CallXLite"), QStringLiteral("Dial with X-Lite"), this);
    k(QStringLiteral("L:CallVonage"), QStringLiteral("Dial with Vonage"), this);
    k(QStringLiteral("L:CallSkype"), QStringLiteral("Dial with Skype"), this);
    k(QStringLiteral("L:SMSSkype"), QStringLiteral("Send SMS with Skype"), this);
    k(QStringLiteral("L:EditInSheet"), QStringLiteral("Edit In Sheet..."), this);
    k(QStringLiteral("L:EmailTo"), QStringLiteral("Email To..."), this);
    k(QStringLiteral("L:OpenInTextEdit"), QStringLiteral("Open In TextEdit..."), this);
    k(QStringLiteral("L:SaveToFile"), QStringLiteral("Save To File..."), this);
    k(QStringLiteral("L:Print"), QStringLiteral("Print..."), this);
    k(QStringLiteral("L:Clear"), QStringLiteral("Clear"), this);
    k(QStringLiteral("L:OverDue"), QStringLiteral("Over Due"), this);
    k(QStringLiteral("L:GoogleAddress"), QStringLiteral("Display Map of Address"), this);
    k(QStringLiteral("L:CopyAddress"), QStringLiteral("Copy Mailing Label"), this);
    k(QStringLiteral("L:ClearAddress"), QStringLiteral("Clear Address Fields"), this);
    k(QStringLiteral("M:Calling"), QStringLiteral("Calling %@"), this);
    k(QStringLiteral("M:DeleteNotes"), QStringLiteral("Warning you are about to clear the Notes!"), this);
    k(QStringLiteral("M:DeliverText"),
      QStringLiteral("Sorry we are having trouble using your SMTP mail setting, a new mail message has been opened instead, please fill out any additional information and send the message!"), this);
    k(QStringLiteral("M:FileSystem"),
      QStringLiteral("File could not be written to disk, check your permission on the folder!"), this);
    k(QStringLiteral("M:MenuText"), QStringLiteral("%@ is not active yet!"), this);
    k(QStringLiteral("M:TabViewSegment"), QStringLiteral("%@ Tab View"), this);
    k(QStringLiteral("M:TextEdit"), QStringLiteral("A TextEdit document could not be created!"), this);
    k(QStringLiteral("M:TableColumn"), QStringLiteral("Table Column"), this);
    k(QStringLiteral("M:QuitAnyways"), QStringLiteral("Could not save changes while quitting. Quit Anyway?"), this);
    k(QStringLiteral("M:CouldNotLogin"),
      QStringLiteral("%@ Could not log into your Skype Account, please log in and try again!"), this);
    k(QStringLiteral("M:SkypeNumberBlank"),
      QStringLiteral("%@ Could not call the Skype Number or Login because it is empty!"), this);
    k(QStringLiteral("M:NoEmails"), QStringLiteral("No emails could not be found for the selected records!"), this);
    k(QStringLiteral("M:SkypeMessage"),
      QStringLiteral("Skype is a small program that lets you make free calls over the internet to other Skype users, wherever they are in the world.\n\nTo learn more click on the 'OK' button and you will be taken to the Skype site.\n\nOnce you have installed and setup Skype you can dial calls directly from %@!"), this);
    k(QStringLiteral("M:VonageMessage"),
      QStringLiteral("Vonage is a VoIP phone service that lets you make and receive calls with a regular phone over your broadband internet connection.\n\nTo learn more click on the 'OK' button and you will be taken to the Vonage site. Once you have a Vonage account, set it up in the Preferences under Apps, Phone.\n\nOnce you have setup a Vonage account setup you can dial calls directly from %@!"), this);
    k(QStringLiteral("M:WebFonesMessage"),
      QStringLiteral("WebFones is a hosted PBX phone service for small businesses and home offices: extensions, voice mail and call forwarding without any phone hardware to keep.\n\nCalls travel over the internet and ring on the phones you already have, so your numbers go wherever you work.\n\nTo learn more click on the 'OK' button and you will be taken to the WebFones site; when you order, please mention that you are using %@ from %@.\n\nOnce you have setup a WebFones account you can dial calls directly from %@!"), this);
    k(QStringLiteral("M:XLiteMessage"),
      QStringLiteral("X-Lite is a free VoIP soft phone communicator that lets you make voice and video calls over the internet from your computer.\n\nTo learn more click on the 'OK' button and you will be taken to the CounterPath site."), this);
    k(QStringLiteral("M01:AddressBook"),
      QStringLiteral("The selected person could not be found in the Address Book!"), this);
    k(QStringLiteral("M02:AddressBook"), QStringLiteral("Select a contact to %@!"), this);
    k(QStringLiteral("M03:AddressBook"), QStringLiteral("Select only one contact to %@!"), this);
    k(QStringLiteral("M04:AddressBook"), QStringLiteral("%@ Address Book has no changes"), this);
    k(QStringLiteral("M05:AddressBook"), QStringLiteral("%@ saved the Address Book changes"), this);
    k(QStringLiteral("M06:AddressBook"), QStringLiteral("%@ failed to save the Address Book changes error is %@"), this);
    k(QStringLiteral("M07:AddressBook"), QStringLiteral("%@ failed setting the Address Book k:%@ to:%@"), this);
    k(QStringLiteral("M01:Deleting"), QStringLiteral("The record you have selected, can not be deleted!"), this);
    k(QStringLiteral("M02:Deleting"), QStringLiteral("Warning you are about to delete multiple record items?"), this);
    k(QStringLiteral("M03:Deleting"), QStringLiteral("Warning you are about to one record item!"), this);
    k(QStringLiteral("M04:Deleting"),
      QStringLiteral("Warning you are about to delete multiple iCal %@'s from iCal, this cannot be undone?"), this);
    k(QStringLiteral("M05:Deleting"),
      QStringLiteral("Warning you are about to delete a %@ from your iCal, this cannot be undone!"), this);
    k(QStringLiteral("M06:Deleting"),
      QStringLiteral("%@ could not delete the iCal %@, the following error was returned '%@'!"), this);
    k(QStringLiteral("M01:Emails"), QStringLiteral("The Email for this person is not valid!"), this);
    k(QStringLiteral("M02:Emails"), QStringLiteral("Could not create a email message!"), this);
    k(QStringLiteral("M01:EmailSmtp"),
      QStringLiteral("Your Mail SMTP account has not been configured, go to the Mail Preferences and Fill in the 'Outgoing Mail Server:' field!"), this);
    k(QStringLiteral("M02:EmailSmtp"),
      QStringLiteral("Add the following file located in you Finder File Viewer at he following path '%@' to the body of this email, then send the message!\n\n"), this);
    k(QStringLiteral("M01:EmailAddress"), QStringLiteral("You need to select a Contact first to send a Email!"), this);
    k(QStringLiteral("M02:EmailAddress"),
      QStringLiteral("You need to select the Email table column header to open a Web Site!"), this);
    k(QStringLiteral("M04:EmailAddress"), QStringLiteral("Email Address for this person is not valid!"), this);
    k(QStringLiteral("M05:EmailAddress"), QStringLiteral("Please select a contact to edit!"), this);
    k(QStringLiteral("M07:EmailAddress"), QStringLiteral("The default email address has not been set!"), this);
    k(QStringLiteral("M01:ICalEvent"), QStringLiteral("Could not save iCal Event titled '%@' to iCal"), this);
    k(QStringLiteral("M03:ICalEvent"),
      QStringLiteral("%@ could not add the iCal %@ till you create a Calendar in iCal!"), this);
    k(QStringLiteral("M05:ICalEvent"), QStringLiteral("%@ for %d %@"), this);
    k(QStringLiteral("M06:ICalEvent"), QStringLiteral("Custom %@ rule for %d %@"), this);
    k(QStringLiteral("M01:ICalToDo"),
      QStringLiteral("%@ could not add a new iCal %@, the following error was returned '%@'!"), this);
    k(QStringLiteral("M01:WebSite"), QStringLiteral("Web Site for this person is not valid!"), this);
    k(QStringLiteral("M02:WebSite"), QStringLiteral("You need to select a Contact first to open a Web Site!"), this);
    k(QStringLiteral("M03:WebSite"),
      QStringLiteral("You need to select the URL table column header to open a Web Site!"), this);
    k(QStringLiteral("M04:WebSite"), QStringLiteral("A Google Map can not be opened for this Address!"), this);
    k(QStringLiteral("L:Daily"), QStringLiteral("Daily"), this);
    k(QStringLiteral("L:Weeks"), QStringLiteral("Weeks"), this);
    k(QStringLiteral("L:Weekly"), QStringLiteral("Weekly"), this);
    k(QStringLiteral("L:Yearly"), QStringLiteral("Yearly"), this);
    k(QStringLiteral("L:Time"), QStringLiteral("time"), this);
    k(QStringLiteral("L:Times"), QStringLiteral("times"), this);
    k(QStringLiteral("L:NoRepeatRule"), QStringLiteral("No Repeat Rule"), this);
    k(QStringLiteral("L:Until"), QStringLiteral("until"), this);
    k(QStringLiteral("L:NoAttendees"), QStringLiteral("No Attendees"), this);
    k(QStringLiteral("L:NewEvent"), QStringLiteral("New Event"), this);
    k(QStringLiteral("L:CreateLanguages"), QStringLiteral("Create File..."), this);
    k(QStringLiteral("L:CycleLanguages"), QStringLiteral("Cycle Languages"), this);
    k(QStringLiteral("L:LastLanguage"), QStringLiteral("Switch To Last Language"), this);
    k(QStringLiteral("L:LoadAllNibs"), QStringLiteral("Load All Nib Files"), this);
    k(QStringLiteral("L:LanguagePrefs"), QStringLiteral("Language Preferences..."), this);
    k(QStringLiteral("L:PlaySound"), QStringLiteral("Play Sound"), this);
    k(QStringLiteral("L:SelectFile"), QStringLiteral("Select File..."), this);
    k(QStringLiteral("L:ClearFile"), QStringLiteral("Clear File"), this);
    k(QStringLiteral("L:ShowLargeType"), QStringLiteral("Show Large Type"), this);
    k(QStringLiteral("L:ClearPhone"), QStringLiteral("Clear Phone Number"), this);
    k(QStringLiteral("L:CopyToMainPhone"), QStringLiteral("Copy to Main Phone Field"), this);
    k(QStringLiteral("L:MoveToMainPhone"), QStringLiteral("Move to Main Phone Field"), this);
    k(QStringLiteral("L:ApplyFormatter"), QStringLiteral("Apply Phone Formatter"), this);
    k(QStringLiteral("L:ShowPhoneHelp"), QStringLiteral("Show Phone Help"), this);
    k(QStringLiteral("L01:AddressPicker"), QStringLiteral("edit"), this);
    k(QStringLiteral("L02:AddressPicker"), QStringLiteral("open a email"), this);
    k(QStringLiteral("L03:AddressPicker"), QStringLiteral("open a website"), this);
    k(QStringLiteral("L04:AddressPicker"), QStringLiteral("open"), this);
    k(QStringLiteral("L01:EmailButton"), QStringLiteral("Show Email Name List"), this);
    k(QStringLiteral("L03:EmailButton"), QStringLiteral("Open New Email Message"), this);
    k(QStringLiteral("L04:EmailButton"), QStringLiteral("Reset To Default Email"), this);
    k(QStringLiteral("L05:EmailButton"), QStringLiteral("Clear Email"), this);
    k(QStringLiteral("L06:EmailButton"), QStringLiteral("Make Primary Email"), this);
    k(QStringLiteral("L01:WebButton"), QStringLiteral("Open Website In Browser"), this);
    k(QStringLiteral("L02:WebButton"), QStringLiteral("Clear Website"), this);
    k(QStringLiteral("L03:WebButton"), QStringLiteral("Copy to Main Webpage Field"), this);
    k(QStringLiteral("L04:WebButton"), QStringLiteral("Move to Main Webpage Field"), this);
    k(QStringLiteral("L01:SearchField"), QStringLiteral("Search Column"), this);
    k(QStringLiteral("PA01:Prompts"), QStringLiteral("Choose Application"), this);
    k(QStringLiteral("PA02:Prompts"), QStringLiteral("Open Sound File"), this);
    k(QStringLiteral("TA01:ToolTip"), QStringLiteral("Notes PopUp Actions List"), this);
    return storedLk();
}
