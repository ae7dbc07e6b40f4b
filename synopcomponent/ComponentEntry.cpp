// The one symbol the component's library exports: its host finds it by name.
#include "SynopComponent.h"

#include <QCoreApplication>

extern "C" Q_DECL_EXPORT synop::ISynopComponent* pluvane_create_synop_component(const char* classId)
{
    if (!classId
        || QString::fromLatin1(classId).compare(QLatin1String(synop::kSynopComponentClassId), Qt::CaseInsensitive) != 0)
        return nullptr;
    if (!QCoreApplication::instance()) return nullptr;  // the component lives on a Qt event loop
    return new synop::SynopComponent;
}
