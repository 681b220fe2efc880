// THLDriverEditor: the hotel-link adapter's configuration editor. Opening it
// writes the default of every setting the "mod_varnel" section lacks, then
// shows the section in the common configuration dialog.
#pragma once

#include "frame/cfg_editor.h"

namespace mod_varnel {

inline constexpr const char* AdapterName = "mod_varnel";
inline constexpr const char* AdapterDescription =
    "PBX adapter for Orvane HotelLinkDriver(Varnel.dll)";

class THLDriverEditor : public frame::TCfgEditor {
public:
    THLDriverEditor();

    // Writes each missing key's default, in the order of the settings table;
    // existing values, empty ones included, stay as they are.
    void setDefaults(rtl::IConfiguration& section) override;
};

} // namespace mod_varnel
