#pragma once

// The texts the window program shares between its layers: messages, captions, status lines. It sits at
// the bottom of the layers so that each of them can use it. A text that one unit alone shows stays beside
// that unit: the command-line tool's words and help (cli/), the port failures (link/), the contacts
// import's reports (lists/), the profile lists' captions and items (profile/), a check of one tab's own
// (windows/) and the virtual handset's messages (VirtualHandset/). "\r" is a carriage return, shown as a
// line break.
namespace Texts {

// Program and windows
inline constexpr const char* ProgramTitle = "Quorvel";
inline constexpr const char* ConnectionSettingsCaption = "Connection Settings";
inline constexpr const char* SaveQuestionCaption = "Select how to write";
inline constexpr const char* ProgressCaption = "Progress";
inline constexpr const char* Ok = "OK";
inline constexpr const char* Cancel = "Cancel";
inline constexpr const char* ExtendedParams =
    "Params for Extended Functionality:\r\r-English -> Forces language to English.\r";

// Mail monitor
inline constexpr const char* MonitorCaption = "Mail Control Monitor";
inline constexpr const char* MonitorCaptionJoin = " - ";
inline constexpr const char* ClearWindow = "Clear Window";
inline constexpr const char* StayOnTop = "Stay on Top";
inline constexpr const char* ShowTime = "Show Time";
inline constexpr const char* SaveLogAs = "Save Log As...";
inline constexpr const char* MonitorTxLabel = "Tx       : ";
inline constexpr const char* MonitorRxLabel = "Rx       :";
inline constexpr const char* MonitorReplyLabel = "Reply    :";
inline constexpr const char* MonitorTxRxTimeLabel = "TxRx time:";
inline constexpr const char* MonitorPacketsLabel = "Packets  :";
inline constexpr const char* MonitorExpectedRxLabel = "Expected Rx Count :";
inline constexpr const char* MonitorChecksumLabel = "Checksum status Rx:";
inline constexpr const char* MonitorOriginalMailHint = "Original Sendmail :";
inline constexpr const char* MonitorLogLimit = "The log keeps the last %d lines.";
inline constexpr const char* MonitorLogFiles = "Recordings (*.jsonl);;All files (*)";
inline constexpr const char* MonitorLogNotSaved = "The log could not be saved as %s: %s";

// Provisioning station
inline constexpr const char* StationCaption = "Provisioning Station";
inline constexpr const char* StationTemplateLabel = "Template folder:";
inline constexpr const char* StationBrowse = "Browse...";
inline constexpr const char* StationChooseFolder = "Choose the Template Folder";
inline constexpr const char* StationOnlyListed = "Only handsets listed in handsets.csv";
inline constexpr const char* StationStart = "Start";
inline constexpr const char* StationStop = "Stop";
inline constexpr const char* StationStopping = "Stopping...";
inline constexpr const char* StationColumns = "Port|Handset|State|Last message";
inline constexpr const char* StationHandsetColumns =
    "Handset|Software|PCS|Capacity|Last seen|Last template|Template";
inline constexpr const char* StationHandsetCurrent = "current";
inline constexpr const char* StationHandsetOutdated = "outdated";
inline constexpr const char* StationDocked = "Docked";
inline constexpr const char* StationProvisioning = "Provisioning";
inline constexpr const char* StationDone = "Done";
inline constexpr const char* StationFailed = "Failed";
inline constexpr const char* StationTakenOut = "Taken out";
inline constexpr const char* StationBusy = "Busy";
inline constexpr const char* StationNoFolder =
    "Choose the folder of a provisioning template: any of phonebook.phb, speeddial.sdl, groups.BGL and "
    "profile.pro, and handsets.csv for what differs from handset to handset.";
inline constexpr const char* StationTemplateWrites = "The template writes: %s.\r%s";
inline constexpr const char* StationOneListed = "1 handset is listed in handsets.csv.";
inline constexpr const char* StationManyListed = "%d handsets are listed in handsets.csv.";
inline constexpr const char* StationNoHandsetList =
    "There is no handsets.csv: every handset gets the same files.";
inline constexpr const char* StationOneProblem =
    "1 problem in the template; the station can start once it is mended:";
inline constexpr const char* StationProblems =
    "%d problems in the template; the station can start once they are mended:";
inline constexpr const char* StationMoreProblems = "and %d more (quorvel-cli template check lists them all).";
inline constexpr const char* StationStartQuestion =
    "Every handset docked while the station runs gets the template %s%s, without a further question. Start "
    "the station?";
inline constexpr const char* StationListedOnly = " (handsets listed in its handsets.csv only)";
inline constexpr const char* StationStarting = "Starting the station ...";
inline constexpr const char* StationNotStarted = "The station could not be started: %s cannot be run (%s).";
inline constexpr const char* StationEndedWithStatus = "The station ended with exit status %d.";
inline constexpr const char* StationEndedWithMessage = "The station ended with exit status %d: %s";
inline constexpr const char* StationEndedUnexpectedly = "The station ended unexpectedly (%s).";

// Menus
inline constexpr const char* MenuFile = "&File";
inline constexpr const char* MenuOptions = "&Options";
inline constexpr const char* MenuHelp = "&Help";
inline constexpr const char* OpenPhoneBook = "&Open Phone Book";
inline constexpr const char* SavePhoneBookAs = "&Save Phone Book As...";
inline constexpr const char* OpenProfile = "Open P&rofile";
inline constexpr const char* SaveProfileAs = "Save Pro&file As...";
inline constexpr const char* OpenSpeedDialList = "Open Spee&d Dial List";
inline constexpr const char* SaveSpeedDialListAs = "Save Speed Dia&l List As...";
inline constexpr const char* OpenBroadcastGroups = "Open &Broadcast Groups";
inline constexpr const char* SaveBroadcastGroupsAs = "Save Broadcast &Groups As...";
inline constexpr const char* Exit = "E&xit";
inline constexpr const char* ConnectionSettings = "&Connection Settings";
inline constexpr const char* TestConnection = "&Test Connection";
inline constexpr const char* MailMonitor = "&Mail Monitor";
inline constexpr const char* Station = "&Station...";
inline constexpr const char* DecreaseFontSize = "&Decrease Font Size";
inline constexpr const char* IncreaseFontSize = "&Increase Font Size";
inline constexpr const char* GetOutlookContacts = "Get Outlook Co&ntacts";
inline constexpr const char* UserGuide = "&User Guide";
inline constexpr const char* About = "&About";

// About box and user guide
inline constexpr const char* AboutCaption = "About";
inline constexpr const char* AboutProductName = "Product Name";
inline constexpr const char* AboutInternalName = "Internal Name";
inline constexpr const char* AboutOriginalFilename = "Original Filename";
inline constexpr const char* AboutFileDescription = "File Description";
inline constexpr const char* AboutProductVersion = "Product Version";
inline constexpr const char* AboutFileVersion = "File Version";
inline constexpr const char* AboutCompiled = "Compiled";
inline constexpr const char* AboutLegalCopyright = "Legal Copyright";
inline constexpr const char* AboutLegalTrademarks = "Legal Trademarks";
inline constexpr const char* AboutComments = "Comments";
inline constexpr const char* AboutCompanyName = "Company Name";
inline constexpr const char* AboutEmail = "E-mail";
inline constexpr const char* AboutHomePage = "Home Page";
inline constexpr const char* AboutMailSubject = "Software Question";
inline constexpr const char* AboutFileNotFound = "File not Found: \"";
inline constexpr const char* AboutFileNotFoundEnd = "\"";
inline constexpr const char* AboutValuesSection = "User Defined About Values";
inline constexpr const char* PdfReaderVersionNeeded =
    "Adobe Reader %d or newer is required to read the user guide.";
// The full path of the guide.
inline constexpr const char* PdfReaderNeeded =
    "A PDF reader is needed to read the user guide: install one (for instance Evince or Okular) and open "
    "\"User Guide\" again.\rThe guide is the file %s; any program that shows PDF files opens it.";

// Tabs and info labels
inline constexpr const char* TabPhoneBook = "Phone Book";
inline constexpr const char* TabSim = "SIM";
inline constexpr const char* TabProfile = "Profile";
inline constexpr const char* TabSpeedDial = "Speed Dial";
inline constexpr const char* TabBroadcastGroups = "Broadcast Groups";
inline constexpr const char* InfoAdvancedSettings =
    "Info: \"Advanced Settings\" need a Q7XX handset with software 62018400 or 62018700 of PCS 06A or newer "
    "(level 6 or 7).";
inline constexpr const char* InfoSpeedDial =
    "Info: \"Speed Dial\" needs a Q7XX handset whose software is of PCS 06A or newer.";
// The handset of the last connection, after the info: "Software 62018400, PCS 06B, level 7 (advanced
// settings)".
inline constexpr const char* InfoConnectedHandset = "Connected handset: Software %s, PCS %s, level %d (%s).";
inline constexpr const char* InfoWithAdvancedSettings = "advanced settings";
inline constexpr const char* InfoWithoutAdvancedSettings = "no advanced settings";
inline constexpr const char* InfoBroadcastGroups =
    "Info: \"Broadcast Groups\" are only available in Q7XX SW PCS 6Q or higher.";
inline constexpr const char* XmlError = "Error";
inline constexpr const char* XmlDateCaption = "SIM list date:";
inline constexpr const char* XmlVersionCaption = "SIM list version:";
inline constexpr const char* SimListReversedRange =
    "The SIM interpreter list cannot be used for %s: <%s address=\"%s\"> ends before it begins.";
inline constexpr const char* SimListNoLastEntry =
    "The SIM interpreter list cannot be used for %s: it has no <last_entry>, so how far the SIM reaches is "
    "not known.";
inline constexpr const char* SimInterpreterMissing = "SIM interpreter could not be located!";
inline constexpr const char* SimInterpreterVersion =
    "Current SIM Interpreter version %s - Required version %s.xx";
inline constexpr const char* SimInterpreterUnreadable = "The SIM interpreter list could not be read: %s";

// SIM transfer
inline constexpr const char* TransferSimToFile = "Transfer SIM to File";
inline constexpr const char* TransferSimToHandset = "Transfer SIM to Handset";
inline constexpr const char* SimFilter = "SIM (*.sim)|*.sim";
inline constexpr const char* SimExtension = "sim";
inline constexpr const char* SimToFileQuestion =
    "This will move SIM values from handset to a file. After this operation the handset will not function! "
    "Continue?";
inline constexpr const char* SimToHandsetQuestion =
    "Move SIM to handset?\r\rPlease note that the serial number on the label will no longer match the serial "
    "number in the handset!";
inline constexpr const char* NotASimFile = "The selected file is not a SIM file!";
inline constexpr const char* TransferringSimToFile = "Transferring SIM to file";
inline constexpr const char* TransferringSimToHandset = "Transferring SIM to handset";
inline constexpr const char* SimTransferredToFile = "SIM transferred to file! - %d sec";
inline constexpr const char* SimTransferredToHandset = "SIM transferred to handset! - %d sec";
inline constexpr const char* SimChangeLabel =
    "SIM transferred to handset!\r\rPlease change the serial number on the label in the handset to \"%s\".";
inline constexpr const char* CouldNotTransferSimFromHandset = "Could not transfer SIM from handset";
inline constexpr const char* CouldNotTransferSimToHandset = "Could not transfer SIM to handset";
inline constexpr const char* SimErrorNumber = "Error #%d";
// After a failure that came before the transfer's first write.
inline constexpr const char* SimNothingWritten =
    "Nothing was written to the handset: it holds what it held before.";
inline constexpr const char* SimSoftwareNotSupported =
    "The software used in the handset is not currently supported!";
inline constexpr const char* SimFileNotValid = "The SIM file is not valid!";
inline constexpr const char* SimFileNotOpened = "The SIM file could not be opened!";
inline constexpr const char* SimFileCorrupted =
    "The SIM file seems to be corrupted (could not find data in file)";
inline constexpr const char* SimFileOtherSoftware =
    "The SIM file is not compatible with the software in the handset!";
inline constexpr const char* SimHandsetNotCompatible =
    "The software in the handset is not compatible with the SIM file!";
inline constexpr const char* NoSimText = "   NO SIM   ";
// What the transfer adds where a step's outcome is not what it was asked for.
inline constexpr const char* SimEraseUnknown = "The SIM %s is in the file %s, but whether its serial number "
                                               "was erased in the handset could not be found "
                                               "out. Keep the handset in the docking station and choose "
                                               "\"Transfer SIM to File\" again: it finds out and "
                                               "finishes or undoes the move.";
inline constexpr const char* SimMoveOutUnfinished =
    "The move of the SIM %s out of its handset did not finish. Put the handset it came from in the docking "
    "station and choose \"Transfer SIM to File\": if it still holds the SIM, the unfinished move is undone, "
    "else it is finished. If that handset is lost or was erased, release the file (\"Release Unfinished "
    "Move\" on the SIM tab, or quorvel-cli sim release).";
inline constexpr const char* SimMoveInUnfinished =
    "The move of the SIM %s into a handset did not finish, and that handset may hold it now: it shows "
    "\"%s\". "
    "Put it in the docking station and choose \"Transfer SIM to Handset\" with this file: the move is "
    "finished there. If that handset is lost or was erased, release the file (\"Release Unfinished Move\" on "
    "the SIM tab, or quorvel-cli sim release).";
inline constexpr const char* SimMoveOutUndone =
    "The SIM %s is still in this handset: the unfinished move out of it is undone, and its file is removed.";
inline constexpr const char* SimMoveOutFinished =
    "The unfinished move of the SIM %s out of this handset is finished: the SIM is in the file %s.";
inline constexpr const char* SimMoveInFinished =
    "The SIM %s had already been written into this handset: its move is finished, and its file removed.";
inline constexpr const char* SimMoveInUndone =
    "The unfinished move of the SIM %s into this handset is undone: the SIM is in the file %s, which "
    "\"Transfer SIM to Handset\" takes again.";
inline constexpr const char* SimMoveInUnknown =
    "Whether the handset holds the SIM %s now could not be found out; its file and record are kept. Put the "
    "handset in the docking station and choose \"Transfer SIM to Handset\" with the same file again.";
inline constexpr const char* SimTextNotWritten =
    "The SIM %s is in this handset, but its display text could not be written. Choose \"Transfer SIM to "
    "Handset\" with the same file again to finish the move.";
inline constexpr const char* SimMarkNotWritten =
    "The handset's display could not be marked for the move, so nothing was moved: the SIM %s stays where it "
    "was.";
// As above, when the handset's text could not be put back either.
inline constexpr const char* SimMarkNotWrittenFileKept =
    "The handset's display could not be marked for the move, so nothing was moved: the SIM %s stays in the "
    "handset. Its file %s is kept, with the record of a move out that did not finish, until \"Transfer SIM "
    "to File\" on this handset undoes the move; no other handset takes that file.";
inline constexpr const char* SimEraseNotFinished =
    "The SIM %s is in the file %s, but the erase of the handset it came from was not confirmed to its end: "
    "it may still hold parts of the SIM and its mark. Put it in the docking station and choose \"Transfer "
    "SIM "
    "to File\" to finish.";
inline constexpr const char* SimStaleMarkCleared =
    "This handset showed \"%s\", the mark of a move that is over; the mark is cleared.";
inline constexpr const char* SimReleaseQuestion =
    "Release the unfinished move of the SIM %s %s a handset?\r\rThat handset may hold the SIM now. If it "
    "does, the released file can still be written into a second handset, and the subscription is then in two "
    "handsets. Release only if that handset is lost or was erased.";
inline constexpr const char* SimReleaseOutOf = "out of";
inline constexpr const char* SimReleaseInto = "into";
inline constexpr const char* SimReleased =
    "The unfinished move of the SIM %s is released: \"Transfer SIM to Handset\" takes the file %s.";
inline constexpr const char* SimNothingToRelease =
    "The SIM %s is in no unfinished move: there is nothing to release.";
inline constexpr const char* ReleaseUnfinishedMove = "Release Unfinished Move";
inline constexpr const char* SimRecordsCaption = "SIMs in files:";
inline constexpr const char* SimRecordsColumns = "Serial number|Software|PCS|Saved|State|Last step|File";
inline constexpr const char* SimRecordUnusable = "cannot be used: %s";
// What the records of SIMs in files say of each SIM, on the SIM tab and in quorvel-cli sim records.
inline constexpr const char* SimStateInFile = "in its file";
inline constexpr const char* SimStateMovingOut = "moving out (not finished)";
inline constexpr const char* SimStateMovingIn = "moving in (not finished)";
inline constexpr const char* SimAdviceInFile = "\"Transfer SIM to Handset\" takes the file.";
inline constexpr const char* SimAdviceErasePending =
    "\"Transfer SIM to Handset\" takes the file. The handset it came from may show \"%s\" until \"Transfer "
    "SIM to File\" on it finishes its erase.";
inline constexpr const char* SimHandsetHoldsSim =
    "This handset holds the SIM %s. Move it to a file first: a SIM written over it would be lost.";
inline constexpr const char* SimWrongSize =
    "The SIM file holds %d bytes, but the SIM of this handset has %d: it is not from a handset of this kind.";
inline constexpr const char* SimMoveBusy =
    "The SIM %s is being moved by another program at this moment, on this PC or on another that shares "
    "the SIM records. Nothing was changed; try again once that move has ended.";
inline constexpr const char* SimStoreProblem = "The records of SIMs in files cannot be used: %s";
inline constexpr const char* SimRecordNotRemoved =
    "SIM %s is in the handset, and its file was deleted. Its record could not be removed: %s\r\rThe record "
    "takes no file.";
inline constexpr const char* SimErasedNotNoted =
    "The SIM is in its file and the handset is erased, but the records could not note the erase: %s\r\rThe "
    "file is taken by \"Transfer SIM to Handset\" as it is; a handset showing \"   NO SIM   \" needs "
    "nothing more.";
inline constexpr const char* SimInFileNotNoted =
    "SIM %s is in the file %s, and the handset it came from holds no serial number; it shows \"%s\" until "
    "its erase is finished. The records could not note that the SIM is in its file: %s\r\rOnce they have, "
    "\"Transfer SIM to File\" on that handset finishes its erase, and \"Transfer SIM to Handset\" takes the "
    "file.";
inline constexpr const char* SimStepKept =
    "The next command that reaches the records notes the step (it is kept in \"%s\"); until then the move is "
    "not over.";
inline constexpr const char* SimStepNotKept =
    "The step could not be kept for later either (%s). Once the records can be reached and written, %s";
inline constexpr const char* SimRemoveRecordLater = "run: quorvel-cli --yes records remove \"%s\"";
inline constexpr const char* SimFinishOnHandset =
    "\"Transfer SIM to File\" on the handset it came from (it shows \"%s\") finishes the move.";
inline constexpr const char* SimRestoreTakesFile = "\"Transfer SIM to Handset\" takes the file as it is.";

// "Select how to write"
inline constexpr const char* AddPhoneBook = "Add list to existing phone book in handset";
inline constexpr const char* ReplacePhoneBook = "Replace existing phone book in handset";
inline constexpr const char* AddGroups = "Add list to existing groups in handset";
inline constexpr const char* ReplaceGroups = "Replace existing groups in handset";

// Connection
inline constexpr const char* Close = "Close";
inline constexpr const char* SerialDeviceBox = " Serial Device ";
inline constexpr const char* TestBox = " Test ";
inline constexpr const char* CommunicationTest = "Communication Test";
inline constexpr const char* ClickToTest = "Click to test";
inline constexpr const char* Searching = "Searching";
inline constexpr const char* NothingConnected = "Nothing Connected!";
inline constexpr const char* PortInUse = "Port in use by another program!";
inline constexpr const char* PortHeldBy = "It is held by %s.";
inline constexpr const char* NoPortOpen = "No serial port could be opened.";
inline constexpr const char* PortProblemQuestion = "%s\r\rChoose another port, or quit the program.";
inline constexpr const char* PortProblemKeepQuestion =
    "%s\r\rChoose another port, keep the window without a port (to save what it shows), or quit.";
inline constexpr const char* ChooseAnotherPort = "Choose Another Port";
inline constexpr const char* KeepWindow = "Keep the Window";
inline constexpr const char* QuitProgram = "Quit";
inline constexpr const char* StopAndCloseQuestion =
    "An operation on the handset is running. Stop it at the next point between two mails and close the "
    "program? It then says what the handset holds.";
inline constexpr const char* ConnectedTest = "Connected!!";
inline constexpr const char* NoComPorts = "Could not find any com ports on the PC!";
inline constexpr const char* ConnectingToHandset = "Connecting to handset ...";
inline constexpr const char* SerialDeviceClosed = "Serial Device Closed!";
inline constexpr const char* CouldNotConnect = "Could not connect to the handset!";
inline constexpr const char* ConnectedToHandset = "Connected to handset!";
inline constexpr const char* UnknownAnswer = "Unknown Answer!";
inline constexpr const char* ErrorReadingSoftwarePcs = "Error while reading software PCS from handset!";

// Phone book grid
inline constexpr const char* GridLineNo = "Line No:";
inline constexpr const char* GridName = "Name";
inline constexpr const char* GridNumber = "Number";
inline constexpr const char* NameTooLong = "The name must not exceed 24 characters!";
inline constexpr const char* NumberTooLong = "The number must not exceed 23 digits!";
inline constexpr const char* DeleteNameAndNumber = "Delete Name and Number (only in grid).";

// Phone book transfer
inline constexpr const char* PhoneBookOperations = " Phone Book Operations ";
inline constexpr const char* ReadFromHandset = "Read from Handset";
inline constexpr const char* WriteToHandset = "Write to Handset";
inline constexpr const char* DeleteInHandset = "Delete in Handset";
inline constexpr const char* CleanGrid = "Clean Grid";
inline constexpr const char* ReadingFromHandset = "Reading from handset ...";
inline constexpr const char* FinishedReadingFromHandset = "Finished reading from handset! - %d sec";
inline constexpr const char* CouldNotReadPhoneBook = "Could not read Phone Book!";
inline constexpr const char* WritingToHandset = "Writing to handset ...";
inline constexpr const char* FinishedWritingToHandset = "Finished writing to handset! - %d sec";
inline constexpr const char* CouldNotWritePhoneBook = "Could not write Phone Book!";
inline constexpr const char* PhoneBookDeleted = "Phone Book Deleted!";
inline constexpr const char* PhoneBookNotDeletedReply =
    "Error in reply from handset! Phone Book not deleted!";
inline constexpr const char* PhoneBookNotDeleted = "The Phone Book was not deleted!";
inline constexpr const char* DeletePhoneBookQuestion = "Delete the phone book in the connected handset?";
inline constexpr const char* ReplacePhoneBookQuestion =
    "Replace the phone book in the connected handset? Its entries are deleted; afterwards it holds the %d "
    "entries of this list, as far as they fit.";
inline constexpr const char* ReplaceWithNothingQuestion =
    "Replace the phone book in the connected handset? This list has no entries: afterwards the handset's "
    "phone book is empty.";
// What is known of the handset after a write or delete that did not go as asked
inline constexpr const char* PhoneBookNotRead =
    "The handset's phone book could not be read, so no copy of it could be kept. Nothing was changed in the "
    "handset.";
inline constexpr const char* PhoneBookNotReadForAdd =
    "The handset's phone book could not be read, so it is not known which entries it holds already. Nothing "
    "was written to the handset.";
inline constexpr const char* PhoneBookAlreadyHeld =
    "The handset already holds this phone book, in this order; nothing was written.";
inline constexpr const char* PlanNotCarriedOut = "Nothing was written to the handset.";
// A stop asked for before the first mail that changes the handset, and one asked for during a write.
inline constexpr const char* StoppedNothingChanged = "Stopped as asked: nothing was changed in the handset.";
// A stop asked for during a read or the connection step: the table, the grid and the output file are as
// they were, and nothing was sent that changes the handset.
inline constexpr const char* StoppedAsAsked = "Stopped as asked; nothing was changed";
// Said when a greyed control is clicked while an operation runs.
inline constexpr const char* BusyUntilOperationEnds =
    "An operation on the handset is running: it must end, or be cancelled, first.";
inline constexpr const char* StoppedPhoneBook = "The write to the handset's phone book was stopped as asked.";
inline constexpr const char* PhoneBookNotKept =
    "The handset's phone book could not be kept in a file (%s). Nothing was changed in the handset.";
inline constexpr const char* PhoneBookKeptIn =
    "The %d entries it held before are kept in %s; open that file and write it in replace mode to get them "
    "back.";
inline constexpr const char* PhoneBookDeletedAnswerLost =
    "The handset's answer was lost, but its phone book is empty: it has been deleted.";
inline constexpr const char* PhoneBookDeleteUnknown =
    "Error in reply from handset! Whether the phone book was deleted could not be found out.";
// The same when no reply came at all: the line went away.
inline constexpr const char* PhoneBookDeleteUnknownNoReply =
    "No reply came from the handset: whether the phone book was deleted could not be found out.";
inline constexpr const char* PhoneBookNowHolds = "The handset now holds %d entries.";
inline constexpr const char* PhoneBookNowHoldsOne = "The handset now holds 1 entry.";
inline constexpr const char* PhoneBookStoppedAt =
    "The write stopped at line %d; %d of the entries up to it are in "
    "the handset.";
inline constexpr const char* PhoneBookNowUnknown = "What the handset holds now could not be read back.";
inline constexpr const char* PhoneBookUnnamedNumber =
    "line %d: the number is in the handset without its name; write in replace mode to mend it";
inline constexpr const char* PhoneBookMemoryFull =
    "Phone book memory full!\r\rThe number(s) marked with red was not written to the phone.";
inline constexpr const char* NoNumberAttached =
    "No number attached to name!\r\rThe name(s) marked with yellow was not written to the phone.";
inline constexpr const char* UnstorableNumber =
    "The number in line %d holds \"%s\", which the handset cannot store.\r\rA number may hold the digits, "
    "\"*\", \"#\" and \"P\" (pause). Nothing was written to the handset.";

// Speed dial
inline constexpr const char* SpeedDialFilter = "Speed Dial List (*.sdl)|*.sdl";
inline constexpr const char* SpeedDialExtension = "sdl";
inline constexpr const char* CouldNotReadSpeedDial = "Could not read Speed Dial List!";
inline constexpr const char* CouldNotWriteSpeedDial = "Could not write Speed Dial List!";
inline constexpr const char* SpeedDialPartlyWritten =
    "The handset now holds %d of the %d keys the write changes as the file has them.";
inline constexpr const char* SpeedDialNotDeleted = "The Speed Dial List was not deleted!";
inline constexpr const char* SpeedDialPartlyDeleted =
    "The Speed Dial List was not wholly deleted! The handset now holds %d of its numbers.";
inline constexpr const char* SpeedDialNowUnknown =
    "The Speed Dial List was not wholly deleted! What the handset holds now could not be read back.";
inline constexpr const char* SpeedDialNotSupported = "The connected device does not support Speed Dial!";
inline constexpr const char* ReplaceSpeedDialQuestion =
    "Replace the Speed Dial List in the connected handset?";
inline constexpr const char* DeleteSpeedDialQuestion = "Delete the speed dial list in the connected handset?";
inline constexpr const char* FinishedReading = "Finished reading from handset!";
inline constexpr const char* FinishedWriting = "Finished writing to handset!";
inline constexpr const char* DeletingSpeedDial = "Deleting Speed Dial List ...";
inline constexpr const char* SpeedDialDeleted = "Speed Dial List Deleted!";
inline constexpr const char* CouldNotSaveList = "Could not save list";
inline constexpr const char* SpeedDialUnsendable =
    "The number of %s holds \"%s\", which the handset cannot store. A number may hold the digits, \"*\", "
    "\"#\", \"-\" and \"P\" (pause). Nothing was written to the handset.";
inline constexpr const char* SpeedDialNotRead =
    "The handset's speed dial list could not be read, so no copy of it could be kept. Nothing was changed in "
    "the handset.";
inline constexpr const char* SpeedDialNotKept =
    "The handset's speed dial list could not be kept in a file (%s). Nothing was changed in the handset.";
inline constexpr const char* SpeedDialKeptIn =
    "The list it held before is kept in %s; open that file and write it to get it back.";

// Broadcast groups
inline constexpr const char* GroupsFilter = "Broadcast Groups (*.BGL)|*.BGL";
inline constexpr const char* GroupsExtension = "BGL";
inline constexpr const char* CouldNotReadGroups = "Could not read Broadcast Groups!";
inline constexpr const char* CouldNotWriteGroups = "Could not write Broadcast Groups!";
inline constexpr const char* GroupsNotDeleted = "The Broadcast Groups was not deleted!";
inline constexpr const char* DeletingGroups = "Deleting Broadcast Groups ...";
inline constexpr const char* GroupsDeleted = "Broadcast Groups Deleted!";
inline constexpr const char* DeleteGroupsQuestion = "Delete the broadcast groups in the connected handset?";
inline constexpr const char* ReplaceGroupsQuestion =
    "Replace the broadcast groups in the connected handset? Its groups are deleted; afterwards it belongs to "
    "the %d groups of this list.";
inline constexpr const char* ReplaceGroupsWithNothingQuestion =
    "Replace the broadcast groups in the connected handset? This list has no groups: afterwards the handset "
    "belongs to none.";
inline constexpr const char* NoAnswerFromHandset = "No answer from handset!";
inline constexpr const char* GroupsFull = "Groups full!";
inline constexpr const char* GroupExists = "The group \"%s\" already exists!";
inline constexpr const char* GroupRange = "Value must be in the range 0-255!";
inline constexpr const char* CouldNotReadFile = "Could not read file!";
inline constexpr const char* CouldNotWriteFile = "Could not write file!";
inline constexpr const char* GroupUnsendable =
    "Slot %d holds %s, which is not a group number from 0 to 255. Nothing was written to the handset.";
// What is said of a group mail that did not get the answer it should: the mail's bytes, what it asks.
inline constexpr const char* GroupMailNoAnswer = "The handset did not answer the mail %s (%s).";
inline constexpr const char* GroupMailMalformed =
    "The handset's answer %s to the mail %s (%s) is not an answer to it.";
inline constexpr const char* GroupMailUnknownStatus =
    "The handset answered the mail %s (%s) with the status %d, which this program does not know.";
inline constexpr const char* GroupsNowHeld = "The handset now holds the groups %s.";
inline constexpr const char* GroupsNowNone = "The handset now holds no groups.";
inline constexpr const char* GroupsNowUnknown = "What the handset holds now could not be read back.";
inline constexpr const char* GroupsNotRead =
    "The handset's broadcast groups could not be read, so no copy of them could be kept. Nothing was changed "
    "in the handset.";
inline constexpr const char* GroupsNotKept =
    "The handset's broadcast groups could not be kept in a file (%s). Nothing was changed in the handset.";
inline constexpr const char* GroupsKeptIn =
    "The groups it held before are kept in %s; open that file and write it in replace mode to get them back.";
inline constexpr const char* GroupsDeletedAnswerLost =
    "The handset's answer was lost, but it holds no groups: they have been deleted.";

// Speed dial and broadcast groups writes worked out as a plan first
inline constexpr const char* SpeedDialAlreadyHeld =
    "The handset already holds this speed dial list; nothing was written.";
inline constexpr const char* GroupsAlreadyHeld =
    "The handset already holds these broadcast groups; nothing was written.";
inline constexpr const char* GroupsNotReadForAdd =
    "The handset's broadcast groups could not be read, so it is not known which groups it belongs to "
    "already. Nothing was written to the handset.";
// Why a group of the list is not written (after the group).
inline constexpr const char* GroupSlotsFullReason = "the handset's 16 group slots are full";

// Phone book file and contacts
inline constexpr const char* PhoneBookFilter = "Phone Book (*.phb)|*.phb";
inline constexpr const char* PhoneBookExtension = "phb";
inline constexpr const char* SavingToFile = "Saving to file: %s";
inline constexpr const char* FinishedSavingToFile = "Finished saving to file: %s";
inline constexpr const char* ReadingFromFile = "Reading from file: %s";
inline constexpr const char* FinishedReadingFromFile = "Finished reading from file: %s";
// What a .phb reader says of a line it did not take as it stands, after "line N: ".
inline constexpr const char* PhonebookLineNoComma = "no comma between name and number, not taken";
inline constexpr const char* PhonebookLineControlCharacters = "control characters in the line, not taken";
inline constexpr const char* PhonebookLineNumberTooLong =
    "the number has more than 23 digits, which the handset cannot store, not taken";
inline constexpr const char* PhonebookLineNameCut = "the name has more than 24 characters, cut to 24";
inline constexpr const char* PhonebookMoreProblems = "and %d more";
inline constexpr const char* PhonebookLinesNotTaken = " - %d lines not taken";
inline constexpr const char* PhonebookLineNotTaken = " - 1 line not taken";
inline constexpr const char* ContactsFilter = "Contacts exported from Outlook (*.csv *.vcf)|*.csv;*.vcf";
inline constexpr const char* ConnectingToOutlook = "Connecting to Outlook ...";
inline constexpr const char* CouldNotConnectToOutlook = "Could not connect to Outlook.";
// After a contacts import.
inline constexpr const char* MakeNumbersDialableQuestion =
    "Numbers the handset cannot store as they are: %d, the first in line %d. They hold \"+\", brackets, "
    "\"/\", \".\" or other characters besides the digits.\r\rMake them dialable? A leading \"+\" becomes "
    "\"%s\", and the blanks and the separators ( ) / . - between the digits are removed.";
inline constexpr const char* NumbersMadeDialable = "Numbers made dialable: %d.";
inline constexpr const char* NumbersStillUnstorable =
    "Numbers the handset still cannot store: %d, the first in line %d.";
inline constexpr const char* ContactsNotTakenBookFull =
    "The phone book's %d entries are full. Numbers not taken: %d, from contacts: %d.";

// Profile
inline constexpr const char* ProfileSettingsBox = " Settings  ";
inline constexpr const char* AdvancedSettingsBox = " Advanced Settings ";
inline constexpr const char* ProfileOperations = " Profile Operations ";
inline constexpr const char* RingerToneBox = " Ringer Tone ";
inline constexpr const char* TestRinger = "Test";
inline constexpr const char* EnableAllSettings = "Enable All Settings";
inline constexpr const char* TestingRingerTone = "Testing Ringer Tone %s";
inline constexpr const char* RingerNotKnown = "Whether ringer tone %s played is not known.";
inline constexpr const char* ProfileRead = "Profile read from handset";
inline constexpr const char* CouldNotReadProfile = "Could not read profile from handset!";
inline constexpr const char* ReplaceProfileQuestion = "Replace the profile in the connected handset?";
inline constexpr const char* ProfileWritten = "Profile written to handset";
inline constexpr const char* ProfileNotKept =
    "The handset's profile could not be kept in a file (%s). Nothing was changed in the handset.";
inline constexpr const char* ProfileKeptIn =
    "The profile it held before is kept in %s; open that file and write it to get it back.";
inline constexpr const char* ProfileSettingsArrived =
    "%d of the %d settings to write have their new value in the handset.";
inline constexpr const char* ProfileNowUnknown =
    "What the handset's profile holds now could not be read back.";
inline constexpr const char* CouldNotWriteProfile = "Could not write profile to handset!";
inline constexpr const char* HandsetLevelUnknown =
    "The handset did not tell its software and PCS, so the settings it has are not known.\r Could not write "
    "profile to handset!";
inline constexpr const char* ProfileFilter = "Profile Settings (*.pro)|*.pro";
inline constexpr const char* ProfileExtension = "pro";
inline constexpr const char* CouldNotSaveProfile = "Could not save the profile to %s!";
inline constexpr const char* ProfileValueRefused = "line %d: %s=%s is no value of its list, not taken";
inline constexpr const char* ProfileValuesRefused = "These settings of %s cannot be used:\r%s";
inline constexpr const char* NoProfileSections =
    "%s holds no profile settings: no section [profile settings] or [advanced profile settings].";
inline constexpr const char* CouldNotOpenProfile = "Could not read the profile from %s!";
// A profile write whose plan changes nothing sends nothing.
inline constexpr const char* ProfileAlreadyHeld =
    "The handset already holds these profile settings; nothing was written.";
inline constexpr const char* ProfileHeldOrLacking =
    "The handset already holds the settings it has of these and does not have the others; nothing was "
    "written.";

} // namespace Texts
