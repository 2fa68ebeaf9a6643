#pragma once

// The rules of the main window's command actions that need no window: which
// action shows and may run for the panels shown and the list's entries, the
// text of a command's error box, and what the frame-rate dialog starts with.
#include "commands/dialogvalues.h"
#include "files/commands.h"

#include <QString>

#include <vector>

namespace vidora {

class TCommandEngine;

// The panels that cover the list and the video.
struct TPanelsShown
{
    bool emptyList = false; // the help panel of an empty list
    bool about = false;
    bool settings = false;
};

// The entries the command rule reads; `active` may be none.
struct TActionEntries
{
    EngineEntryPtr active;
    std::vector<EngineEntryPtr> selected; // from the top of the list down
    std::vector<EngineEntryPtr> all;
};

struct TActionState
{
    bool visible = true;
    bool enabled = true;

    bool operator==(const TActionState &) const = default;
};

// The toolbar actions ("saBarre…", letter case counting) keep the state they
// set themselves.
bool KeepsOwnState(const QString &actionName);

// The state of an action of `category` whose command is `command` (none for
// an action without one):
// - "permanent" shows always, "open" unless the About or settings panel is
//   shown, any other category unless one of the three panels is shown; an
//   action is enabled when it shows;
// - a shown command asks its condition (`ce`), then by its Nombre: fnSingle
//   the file condition of the active entry (both flags), fnSelect and fnAll
//   whether any selected (or any) entry is enabled by it (none: disabled).
TActionState ActionStateFor(const QString &category, const TPanelsShown &panels,
                            tAbstractCmd *command, TCommandEngine &ce,
                            const TActionEntries &entries);

// The error box's text: the command's text, then on a line of its own what
// becomes of the work ("The current file has been aborted.", "The command
// will be aborted."; nothing more for etNoError).
QString ErrorBoxText(const QString &text, TErrorType type);

// What the frame-rate dialog shows first for a file of `rate` frames per
// second: exactly 25 the PAL choice, 29.97 (to 1/1001) the NTSC choice,
// anything else the personalized choice with the rate in its edit.
struct TFrequencePreset
{
    TFrequenceChoice choice = TFrequenceChoice::Pal;
    QString personalized; // the edit's text for the personalized choice

    bool operator==(const TFrequencePreset &) const = default;
};
TFrequencePreset FrequencePresetFor(double rate);

// A number as the command's value: decimal text in the default locale's
// form, without group separators, as the commands read it back.
QString DecimalText(double value);

} // namespace vidora
