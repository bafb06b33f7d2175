// The test rigs: simulated printers and a private print server. Each rig has a header
// of its own next to this one.
#pragma once
