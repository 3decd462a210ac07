#pragma once
// The views that show a database's record files to SQL reports: one view
// per record file of the catalogue, one typed column per field the utility
// knows (record_fields.h), text decoded from code page 932 by a function of
// the views' own schema. Only SQL text is made here; the views command runs
// it on the server.

#include <string>
#include <vector>

#include "cli/record_fields.h"
#include "reclink/records/catalogue.h"

namespace reclink::cli {

// One column of a view.
struct ReportColumn {
  std::string name;        // patient_number
  std::string type;        // its SQL type
  std::string expression;  // over the columns pos and data of the file's table
  std::string comment;     // what it is, for the column's comment
};

// The view of one record file.
struct ReportView {
  std::string name;                  // patient
  std::string comment;               // which file it shows
  std::vector<ReportColumn> columns;  // the fields in offset order, then the position and the bytes
};

// The function, in each schema of views, that decodes a text field.
inline constexpr const char* kTextFunction = "cp932_text";

// Words as an SQL name: lower-case ASCII letters and digits, every other run
// of bytes one underscore ("photo-set number" -> photo_set_number).
std::string SqlName(const std::string& words);

// The view name of a catalogue row: its record class without the C and the
// DB, a word for each capitalised part (CTZPhotoEXImgDB -> tz_photo_ex_img);
// for a file without a class, the stem of its ident (TRACELAT_DB -> tracelat).
std::string ViewName(const RecordFileRow& row);

// The schema of database's views: "report" for the server's first database,
// report_<its name as an SQL name> for any other (at most 63 bytes).
std::string SchemaName(const std::string& database, bool first);

// The view of the records of file row (of database) with fields, decoded
// by the text function in schema.
ReportView ViewOf(const RecordFileRow& row, const std::string& database, const std::vector<FieldDef>& fields,
                  const std::string& schema);

// An identifier and a literal as SQL text, quoted.
std::string QuoteIdent(const std::string& name);
std::string QuoteLiteral(const std::string& text);

// The statement that makes (or replaces) schema's text decoding function.
std::string TextFunctionSql(const std::string& schema);

// The statement that makes view in schema over table (qualified); with
// replace, CREATE OR REPLACE.
std::string CreateViewSql(const ReportView& view, const std::string& schema, const std::string& table, bool replace);

// The statements that comment view in schema and each of its columns.
std::vector<std::string> CommentSql(const ReportView& view, const std::string& schema);

}  // namespace reclink::cli
