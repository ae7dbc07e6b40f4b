#pragma once
// The SYNOP component as its host drives it. Members stand in the order of
// the component's interface; each returns a status (0 = success, anything
// else a failure code) and hands results out through pointers.
#include <cstdint>

namespace synop {

// Class id under which the component is created.
inline constexpr char kSynopComponentClassId[] = "{BEBA1970-28D4-11D1-A725-00A0C91DDB3C}";

// Status codes (the values COM uses for the same failures).
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusFail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kStatusInvalidArgument = static_cast<int32_t>(0x80070057);

// The five Option settings (all true unless the host says otherwise):
//   Option1  show the report window
//   Option2  pass on the reports of a repeated bulletin only once
//   Option3  drop values that cannot be true (plausibility checks), with a warning
//   Option4  read groups printed in letters case as figures (lost figures shift)
//   Option5  list NIL reports (stations that sent no observation)
class ISynopComponent {
public:
    virtual ~ISynopComponent() = default;

    // reserved must be 0; *available is non-zero when the decoder and its
    // station tables are ready.
    virtual int32_t OpenDecoder(int32_t reserved, int32_t* available) = 0;
    virtual int32_t CloseDecoder(int32_t reserved) = 0;
    virtual int32_t putOption5(bool value) = 0;
    virtual int32_t getWindowTop(int32_t* twips) = 0;
    virtual int32_t putWindowTop(int32_t twips) = 0;
    virtual int32_t getWindowLeft(int32_t* twips) = 0;
    virtual int32_t putWindowLeft(int32_t twips) = 0;
    // One chunk of teletype text, 8-bit characters (Windows-1252), zero-terminated.
    virtual int32_t FeedText(const char* text) = 0;
    virtual int32_t putOption2(bool value) = 0;
    virtual int32_t putOption3(bool value) = 0;
    virtual int32_t putOption4(bool value) = 0;
    // The host application's name, UTF-8, zero-terminated; titles the window.
    virtual int32_t putApplicationName(const char* name) = 0;
    virtual int32_t putOption1(bool value) = 0;
};

// The one symbol a component library exports: a new instance for the class
// id, or null when the library does not provide that class.
using CreateSynopComponentFunction = ISynopComponent* (*)(const char* classId);
inline constexpr char kCreateSynopComponentSymbol[] = "pluvane_create_synop_component";

}  // namespace synop
