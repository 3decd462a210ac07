#pragma once
// The record classes: one class per record file of the database.

#include "reclink/records/case.h"
#include "reclink/records/catalogue.h"
#include "reclink/records/code_table.h"
#include "reclink/records/owner.h"
#include "reclink/records/patient.h"
#include "reclink/records/per_patient.h"
#include "reclink/records/photo.h"
#include "reclink/records/photo_set.h"
#include "reclink/records/point.h"
#include "reclink/records/report.h"
#include "reclink/records/surgery.h"
#include "reclink/records/text_table.h"
