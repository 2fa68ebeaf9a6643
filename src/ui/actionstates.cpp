#include "ui/actionstates.h"

#include "files/commandengine.h"

#include <QLocale>

#include <cmath>

namespace vidora {

namespace {

// Whether the file condition enables the command for any of the entries.
// The conditions only read, so the first entry that enables it settles it.
bool AnyEnabled(tAbstractCmd &command, const std::vector<EngineEntryPtr> &entries)
{
    for (const EngineEntryPtr &entry : entries) {
        bool visible = true;
        bool enabled = true;
        command.FileCondition(entry, visible, enabled);
        if (enabled)
            return true;
    }
    return false;
}

} // namespace

bool KeepsOwnState(const QString &actionName)
{
    return actionName.startsWith(QLatin1String("saBarre"), Qt::CaseSensitive);
}

TActionState ActionStateFor(const QString &category, const TPanelsShown &panels,
                            tAbstractCmd *command, TCommandEngine &ce,
                            const TActionEntries &entries)
{
    TActionState state;
    if (category == QLatin1String("permanent"))
        state.visible = true;
    else if (category == QLatin1String("open"))
        state.visible = !panels.about && !panels.settings;
    else
        state.visible = !panels.emptyList && !panels.about && !panels.settings;
    state.enabled = state.visible;
    if (command == nullptr)
        return state;

    // A hidden action does not ask.
    if (state.visible)
        state.visible = command->CommandCondition(ce);

    switch (command->Nombre) {
    case TcmdNombre::fnSingle: {
        bool visible = true;
        bool enabled = true;
        command->FileCondition(entries.active, visible, enabled);
        state.visible = visible && state.visible;
        state.enabled = enabled && state.enabled;
        break;
    }
    case TcmdNombre::fnSelect:
        state.enabled = state.enabled && AnyEnabled(*command, entries.selected);
        break;
    case TcmdNombre::fnAll:
        state.enabled = state.enabled && AnyEnabled(*command, entries.all);
        break;
    case TcmdNombre::fnNone:
        break;
    }
    return state;
}

QString ErrorBoxText(const QString &text, TErrorType type)
{
    // The line break of the platform's message boxes.
    QString box = text + u'\n';
    switch (type) {
    case TErrorType::etNoError:
        break;
    case TErrorType::etError:
        box += QStringLiteral("The current file has been aborted.");
        break;
    case TErrorType::etAllError:
        box += QStringLiteral("The command will be aborted.");
        break;
    }
    return box;
}

TFrequencePreset FrequencePresetFor(double rate)
{
    if (rate == 25.0)
        return {TFrequenceChoice::Pal, QString()};
    if (std::fabs(1001.0 * rate - 30000.0) < 1.0)
        return {TFrequenceChoice::Ntsc, QString()};
    return {TFrequenceChoice::Personalized, DecimalText(rate)};
}

QString DecimalText(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

} // namespace vidora
