#pragma once
// Patient records: the patient file, the second patient file and the patient file of the older
// layout.

#include "reclink/cstring.h"
#include "reclink/reclink_export.h"
#include "reclink/records/record_class.h"

// The patient file: one record per patient, numbered by InsertPatientData.
class RECLINK_EXPORT CPatientDB : public reclink::RecordClass<reclink::RecordFile::kPatient> {
 public:
  using RecordClass::RecordClass;

  // Reads the patient whose number (key 0) is patientNumber.
  int GetPatientData(char const* patientNumber);
  // Reads the first patient whose patient ID (key 3) is patientId.
  int GetPatientDataByID(char const* patientId);
  // Finds the first patient at or after name on key 1 that is not excluded:
  // 0 when that patient carries exactly name (it is then in the record buffer), else -1.
  int GetPatientDataByName(char const* name);
  // As GetPatientDataByName, on the kana name (key 2).
  int GetPatientDataByKana(char const* kana);
  // Stores the record buffer as a new patient under the next patient number,
  // inside a transaction: 0, -1 when the transaction cannot begin, else the failing status
  // (5, after its box, also when no number follows the last: see NextNumber).
  int InsertPatientData();
  // Rewrites the patient in the record buffer inside a transaction: 0, -1 or the failing status.
  int UpdatePatientData();
  // Deletes the patient last read inside a transaction: 0, -1 or the failing status.
  int DeletePatientData();
  // Deletes the patient with that number inside a transaction: 0, -1, 4 when
  // it is not stored, or the failing status.
  int DeletePatientData(char const* number);
  // The number the next patient would get, as ten digits ("0000000001" for an
  // empty file; "" after NextNumber's box when none follows); a forecast that
  // reserves nothing. Leaves the record read in the buffer.
  CString GetNextPatientID();

 private:
  int FindByName(int keyNumber, char const* name);
};

// The second patient file, keyed by the patient number.
class RECLINK_EXPORT CPatientDB2 : public reclink::RecordClass<reclink::RecordFile::kPatient2> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose key 0 is the patient number patientNumber.
  int GetPatient2Data(char const* patientNumber);
};

// The patient file of the older layout.
class RECLINK_EXPORT COldPatientDB : public reclink::RecordClass<reclink::RecordFile::kOldPatient> {
 public:
  using RecordClass::RecordClass;

  // Reads the record whose key 0 is the patient number patientNumber.
  int GetOldPatientData(char const* patientNumber);
};
