#pragma once
// A stand-in for the SYNOP component that records every member call, in
// order and with its arguments, and can be told to fail any of them.
#include "synopcomponent/api/SynopComponentApi.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace synop::testing {

struct ComponentScript {
    std::vector<std::string> log;      // shared by every instance, survives their release
    std::set<std::string> failing;     // member names whose calls return a failure
    int32_t openResult = 1;            // what OpenDecoder answers
    int32_t left = 1500, top = 3000;   // what the window position reads give
    int created = 0;
};

class RecordingComponent : public ISynopComponent {
public:
    explicit RecordingComponent(std::shared_ptr<ComponentScript> script);
    ~RecordingComponent() override;

    int32_t OpenDecoder(int32_t reserved, int32_t* available) override;
    int32_t CloseDecoder(int32_t reserved) override;
    int32_t putOption5(bool value) override;
    int32_t getWindowTop(int32_t* twips) override;
    int32_t putWindowTop(int32_t twips) override;
    int32_t getWindowLeft(int32_t* twips) override;
    int32_t putWindowLeft(int32_t twips) override;
    int32_t FeedText(const char* text) override;
    int32_t putOption2(bool value) override;
    int32_t putOption3(bool value) override;
    int32_t putOption4(bool value) override;
    int32_t putApplicationName(const char* name) override;
    int32_t putOption1(bool value) override;

private:
    int32_t record(const std::string& member, const std::string& argument);

    std::shared_ptr<ComponentScript> script_;
    int number_;
};

}  // namespace synop::testing
