#pragma once
// Creates a component by class id, loading its shared library at run time.
// A missing library, a library without the creation function or a creation
// that fails all give no instance; the reason is available for a log line.
#include "synopcomponent/api/SynopComponentApi.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace synop {

struct ComponentCreation {
    std::unique_ptr<ISynopComponent> instance;
    QString failure;  // empty on success
};

// Folders searched for the component's library: beside the program, the
// library folder next to the program's folder, the installed library folder.
QStringList componentSearchPath();
// Base name of the component's library file (without prefix and suffix).
inline constexpr char kSynopComponentLibrary[] = "pluvane-synop-component";

ComponentCreation createComponent(const QString& classId, const QStringList& searchPath = componentSearchPath());

}  // namespace synop
