// The scan client's object-model face: the ISondrel a monitor holds over the client's function
// table, with the functions 0x10001 to 0x10006 in their directions. The client derives from it
// and implements slots 0 to 5 of the table.
#pragma once

#include "objectmodel/i_sondrel.h"
#include "objectmodel/implementation.h"
#include "objectmodel/opt_functions_sondrel.h"

namespace Kalvix {

class SondrelEvents : public Implementation<ISondrel, OptFunctions_Sondrel> {
 public:
  // The face as the monitor receives it.
  IObject* Face() { return static_cast<ISondrel*>(this); }

 protected:
  SondrelEvents();
  ~SondrelEvents() override = default;
};

}  // namespace Kalvix
