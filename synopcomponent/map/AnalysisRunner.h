#pragma once
// Runs the surface analysis on a worker thread: the window hands over the
// listed reports and goes on; the result comes back as a signal on the
// window's thread. One analysis runs at a time; of the requests made
// meanwhile only the newest is analysed next.
#include "synopanalysis/SurfaceAnalysis.h"

#include <QObject>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace synop::map {

class AnalysisRunner : public QObject {
    Q_OBJECT
public:
    explicit AnalysisRunner(QObject* parent = nullptr);
    ~AnalysisRunner() override;

    void analyse(std::vector<analysis::PressureReport> reports, analysis::AnalysisOptions options = {});
    bool busy() const { return running_; }

signals:
    void finished(std::shared_ptr<const synop::analysis::SurfaceAnalysis> analysis);

private:
    struct Request {
        std::vector<analysis::PressureReport> reports;
        analysis::AnalysisOptions options;
    };
    // Shared with the worker, which may outlive the runner by one analysis.
    struct Link {
        std::mutex mutex;
        AnalysisRunner* runner = nullptr;
    };
    void start(Request request);
    void done(std::shared_ptr<const analysis::SurfaceAnalysis> analysis);

    std::shared_ptr<Link> link_;
    bool running_ = false;
    std::optional<Request> waiting_;
};

}  // namespace synop::map
