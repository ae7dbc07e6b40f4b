#include "AnalysisRunner.h"

#include <QThreadPool>

namespace synop::map {

AnalysisRunner::AnalysisRunner(QObject* parent) : QObject(parent), link_(std::make_shared<Link>())
{
    link_->runner = this;
    qRegisterMetaType<std::shared_ptr<const analysis::SurfaceAnalysis>>();
}

AnalysisRunner::~AnalysisRunner()
{
    // A worker still running finds nobody to hand its result to.
    const std::lock_guard<std::mutex> lock(link_->mutex);
    link_->runner = nullptr;
}

void AnalysisRunner::analyse(std::vector<analysis::PressureReport> reports, analysis::AnalysisOptions options)
{
    Request request{std::move(reports), std::move(options)};
    if (running_) waiting_ = std::move(request);
    else start(std::move(request));
}

void AnalysisRunner::start(Request request)
{
    running_ = true;
    auto link = link_;
    auto shared = std::make_shared<Request>(std::move(request));
    QThreadPool::globalInstance()->start([link, shared] {
        auto result = std::make_shared<const analysis::SurfaceAnalysis>(analysis::analyseSurface(shared->reports, shared->options));
        const std::lock_guard<std::mutex> lock(link->mutex);
        // Queued: the result is taken on the runner's thread; were the runner
        // deleted before then, Qt drops the call with it.
        if (link->runner) QMetaObject::invokeMethod(link->runner, [runner = link->runner, result] { runner->done(result); }, Qt::QueuedConnection);
    });
}

void AnalysisRunner::done(std::shared_ptr<const analysis::SurfaceAnalysis> analysis)
{
    running_ = false;
    if (waiting_) {
        Request next = std::move(*waiting_);
        waiting_.reset();
        start(std::move(next));
    }
    emit finished(std::move(analysis));
}

}  // namespace synop::map
