// Updating and deleting patients, each inside a transaction of its own.

#include "reclink/records/patient.h"

int CPatientDB::UpdatePatientData() {
  if (BeginTran() != 0) return -1;
  int status = Update();
  if (status == 0) {
    EndTran();
    return 0;
  }
  AbortTran();
  return status;
}

int CPatientDB::DeletePatientData() {
  if (BeginTran() != 0) return -1;
  int status = Delete();
  if (status == 0) {
    EndTran();
    return 0;
  }
  AbortTran();
  return status;
}

int CPatientDB::DeletePatientData(char const* number) {
  if (BeginTran() != 0) return -1;
  int status = GetPatientData(number);
  if (status == 0) status = Delete();
  if (status != 0) {
    AbortTran();
    return status;
  }
  EndTran();
  return 0;
}
