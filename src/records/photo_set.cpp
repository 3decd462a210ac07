#include "reclink/records/photo_set.h"

#include "records/record_class_impl.h"

CTZPhotoEXDB::CTZPhotoEXDB() = default;
CTZPhotoEXDB::CTZPhotoEXDB(char const* directory) : RecordClass(directory) {}
CTZPhotoEXDB::CTZPhotoEXDB(const CTZPhotoEXDB& other) = default;
CTZPhotoEXDB& CTZPhotoEXDB::operator=(const CTZPhotoEXDB& other) = default;
CTZPhotoEXDB::~CTZPhotoEXDB() = default;
void CTZPhotoEXDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CTZPhotoEXDB::GetTZPhotoEXData(char const* a1, char const* a2) { return LookUp(0, a1, a2); }

CTZPhotoEXImgDB::CTZPhotoEXImgDB() = default;
CTZPhotoEXImgDB::CTZPhotoEXImgDB(char const* directory) : RecordClass(directory) {}
CTZPhotoEXImgDB::CTZPhotoEXImgDB(const CTZPhotoEXImgDB& other) = default;
CTZPhotoEXImgDB& CTZPhotoEXImgDB::operator=(const CTZPhotoEXImgDB& other) = default;
CTZPhotoEXImgDB::~CTZPhotoEXImgDB() = default;
void CTZPhotoEXImgDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CTZPhotoEXImgDB::GetTZPhotoEXImgData(char const* a1, char const* a2, char const* a3) { return LookUp(0, a1, a2, a3); }

CTZPhotoEXTextDB::CTZPhotoEXTextDB() = default;
CTZPhotoEXTextDB::CTZPhotoEXTextDB(char const* directory) : RecordClass(directory) {}
CTZPhotoEXTextDB::CTZPhotoEXTextDB(const CTZPhotoEXTextDB& other) = default;
CTZPhotoEXTextDB& CTZPhotoEXTextDB::operator=(const CTZPhotoEXTextDB& other) = default;
CTZPhotoEXTextDB::~CTZPhotoEXTextDB() = default;
void CTZPhotoEXTextDB::GetPrimeKeyFromBuffer() { PrimeKeyFromRecord(); }
int CTZPhotoEXTextDB::GetTZPhotoEXTextData(char const* a1, char const* a2, char const* a3) { return LookUp(0, a1, a2, a3); }
