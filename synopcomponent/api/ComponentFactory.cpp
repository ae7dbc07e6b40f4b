#include "synopcomponent/api/ComponentFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace synop {

QStringList componentSearchPath()
{
    QStringList path;
    if (QCoreApplication::instance()) {
        const QString programDir = QCoreApplication::applicationDirPath();
        path << programDir;
        // An installed tree moved elsewhere: bin/ and lib/ stay side by side.
        path << QDir::cleanPath(programDir + QStringLiteral("/../" PLUVANE_COMPONENT_RELATIVE_LIBDIR));
    }
    path << QStringLiteral(PLUVANE_COMPONENT_INSTALL_DIR);
    return path;
}

ComponentCreation createComponent(const QString& classId, const QStringList& searchPath)
{
    ComponentCreation result;
    if (classId.compare(QLatin1String(kSynopComponentClassId), Qt::CaseInsensitive) != 0) {
        result.failure = QStringLiteral("class %1 is not registered").arg(classId);
        return result;
    }
    QStringList failures;
    for (const QString& folder : searchPath) {
        // Never unloaded: instances may outlive the factory call.
        QLibrary library(QDir(folder).filePath(QLatin1String(kSynopComponentLibrary)));
        if (!library.load()) {
            failures << library.errorString();
            continue;
        }
        auto create = reinterpret_cast<CreateSynopComponentFunction>(library.resolve(kCreateSynopComponentSymbol));
        if (!create) {
            result.failure = QStringLiteral("%1 has no function %2").arg(library.fileName(), QLatin1String(kCreateSynopComponentSymbol));
            return result;
        }
        result.instance.reset(create(classId.toLatin1().constData()));
        if (!result.instance) result.failure = QStringLiteral("the component refused to create class %1").arg(classId);
        return result;
    }
    result.failure = failures.join(QStringLiteral("; "));
    return result;
}

}  // namespace synop
