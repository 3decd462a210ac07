#pragma once
// Everything an application of the record-access library needs.

#include "reclink/base_rec_link.h"
#include "reclink/btrieve.h"
#include "reclink/cstring.h"
#include "reclink/database.h"
#include "reclink/hooks.h"
#include "reclink/ptr_array.h"
#include "reclink/rec_link.h"
#include "reclink/records.h"
#include "reclink/tools.h"
#include "reclink/version.h"
#include "reclink/win_app.h"
