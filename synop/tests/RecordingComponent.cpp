#include "RecordingComponent.h"

namespace synop::testing {

RecordingComponent::RecordingComponent(std::shared_ptr<ComponentScript> script)
    : script_(std::move(script)), number_(++script_->created)
{
    script_->log.push_back("create #" + std::to_string(number_));
}

RecordingComponent::~RecordingComponent() { script_->log.push_back("release #" + std::to_string(number_)); }

int32_t RecordingComponent::record(const std::string& member, const std::string& argument)
{
    script_->log.push_back(member + "(" + argument + ")");
    return script_->failing.count(member) ? kStatusFail : kStatusOk;
}

int32_t RecordingComponent::OpenDecoder(int32_t reserved, int32_t* available)
{
    const int32_t status = record("OpenDecoder", std::to_string(reserved));
    if (status == kStatusOk) *available = script_->openResult;
    return status;
}

int32_t RecordingComponent::CloseDecoder(int32_t reserved) { return record("CloseDecoder", std::to_string(reserved)); }
int32_t RecordingComponent::putOption1(bool v) { return record("Option1", v ? "true" : "false"); }
int32_t RecordingComponent::putOption2(bool v) { return record("Option2", v ? "true" : "false"); }
int32_t RecordingComponent::putOption3(bool v) { return record("Option3", v ? "true" : "false"); }
int32_t RecordingComponent::putOption4(bool v) { return record("Option4", v ? "true" : "false"); }
int32_t RecordingComponent::putOption5(bool v) { return record("Option5", v ? "true" : "false"); }
int32_t RecordingComponent::putWindowTop(int32_t t) { return record("WindowTop=", std::to_string(t)); }
int32_t RecordingComponent::putWindowLeft(int32_t t) { return record("WindowLeft=", std::to_string(t)); }
int32_t RecordingComponent::putApplicationName(const char* name) { return record("ApplicationName", name); }
int32_t RecordingComponent::FeedText(const char* text) { return record("FeedText", text); }

int32_t RecordingComponent::getWindowTop(int32_t* twips)
{
    const int32_t status = record("WindowTop", "");
    if (status == kStatusOk) *twips = script_->top;
    return status;
}

int32_t RecordingComponent::getWindowLeft(int32_t* twips)
{
    const int32_t status = record("WindowLeft", "");
    if (status == kStatusOk) *twips = script_->left;
    return status;
}

}  // namespace synop::testing
