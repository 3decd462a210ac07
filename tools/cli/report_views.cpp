#include "cli/report_views.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace reclink::cli {

namespace {

using K = FieldKind;

std::string Num(size_t n) { return std::to_string(n); }

// The bytes of a field: substr counts from 1.
std::string Bytes(const FieldDef& f) { return "substr(data, " + Num(f.offset + 1u) + ", " + Num(f.width) + ")"; }

// Whether the record reaches to the end of f: a shorter one shows NULL.
std::string Whole(const FieldDef& f) { return "octet_length(data) >= " + Num(f.offset + f.width); }

// A little-endian integer field's bits as a bigint: its bytes in reverse
// order, in hexadecimal, read as a bit string; the unsigned value of a
// field narrower than 8 bytes, two's complement for 8.
std::string Bits(const FieldDef& f) {
  std::string reversed;
  for (size_t i = f.width; i > 0; --i) {
    if (!reversed.empty()) reversed += " || ";
    reversed += "substr(data, " + Num(f.offset + i) + ", 1)";
  }
  return "('x' || encode(" + reversed + ", 'hex'))::bit(" + Num(f.width * 8u) + ")::int8";
}

// The type, the value and how the comment describes it, per kind of field.
ReportColumn Column(const FieldDef& f, const std::string& schema) {
  const std::string at = ", " + Num(f.width) + (f.width == 1 ? " byte" : " bytes") + " at offset " + Num(f.offset);
  const std::string byte = "get_byte(data, " + Num(f.offset) + ")";
  ReportColumn c{SqlName(f.name), "", "", f.name + ": "};
  switch (f.kind) {
    case K::kText:
      c.type = "text";
      c.expression = QuoteIdent(schema) + "." + kTextFunction + "(" + Bytes(f) + ")";
      c.comment += "code page 932 text up to its first zero byte" + at;
      break;
    case K::kByte:
      c.type = "smallint";
      c.expression = "CASE WHEN " + Whole(f) + " THEN " + byte + " END";
      c.comment += "a byte as a number" + at;
      break;
    case K::kLayoutMark:
      c.type = "text";
      c.expression = "CASE WHEN " + Whole(f) + " THEN CASE " + byte + " WHEN 49 THEN 'current' ELSE 'older (0x' || lpad(to_hex(" +
                     byte + "), 2, '0') || ')' END END";
      c.comment += "'current' for the current layout (the byte '1'), else 'older' with the byte" + at;
      break;
    case K::kInteger:
    case K::kUnsigned: {
      const std::string bits = Bits(f);
      if (f.kind == K::kUnsigned && f.width == 8) {
        c.type = "numeric";
        c.expression = "CASE WHEN " + Whole(f) + " THEN " + bits + "::numeric + CASE WHEN " + bits +
                       " < 0 THEN 18446744073709551616 ELSE 0 END END";
      } else if (f.kind == K::kInteger && f.width < 8) {
        c.type = "bigint";
        c.expression = "CASE WHEN " + Whole(f) + " THEN " + bits + " - CASE WHEN " + bits + " >= " +
                       Num(size_t{1} << (f.width * 8u - 1)) + " THEN " + Num(size_t{1} << (f.width * 8u)) +
                       " ELSE 0 END END";
      } else {
        c.type = "bigint";
        c.expression = "CASE WHEN " + Whole(f) + " THEN " + bits + " END";
      }
      c.comment += std::string(f.kind == K::kInteger ? "signed" : "unsigned") + " little-endian integer" + at;
      break;
    }
    case K::kHex:
      c.type = "text";
      c.expression = "encode(" + Bytes(f) + ", 'hex')";
      c.comment += "the bytes in hexadecimal" + at;
      break;
  }
  c.expression = "(" + c.expression + ")::" + c.type;
  return c;
}

}  // namespace

std::string SqlName(const std::string& words) {
  std::string name;
  for (const char c : words) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80 && std::isalnum(u)) {
      name += static_cast<char>(std::tolower(u));
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

std::string ViewName(const RecordFileRow& row) {
  if (row.className == nullptr) {
    const std::string_view ident = row.ident;
    return SqlName(std::string(ident.substr(0, ident.rfind("_DB"))));
  }
  std::string words;
  const std::string_view cls = std::string_view(row.className).substr(1);  // without the C
  for (size_t i = 0; i < cls.size(); ++i) {
    const auto c = static_cast<unsigned char>(cls[i]);
    // "DB" at the end or before a digit closes the name.
    if (cls.substr(i, 2) == "DB" && (i + 2 == cls.size() || std::isdigit(static_cast<unsigned char>(cls[i + 2])))) {
      ++i;
      continue;
    }
    // A capital starts a word after a small letter or a digit, and ends a
    // run of capitals when a small letter follows it (SPPoint: SP, Point).
    if (std::isupper(c) && i > 0) {
      const auto before = static_cast<unsigned char>(cls[i - 1]);
      const bool nextSmall = i + 1 < cls.size() && std::islower(static_cast<unsigned char>(cls[i + 1]));
      if (std::islower(before) || std::isdigit(before) || (std::isupper(before) && nextSmall)) words += ' ';
    }
    words += static_cast<char>(c);
  }
  return SqlName(words);
}

std::string SchemaName(const std::string& database, bool first) {
  if (first) return "report";
  return ("report_" + SqlName(database)).substr(0, 63);
}

ReportView ViewOf(const RecordFileRow& row, const std::string& database, const std::vector<FieldDef>& fields,
                  const std::string& schema) {
  ReportView view{ViewName(row), "", {}};
  view.comment = std::string("The records of ") + row.fileName + " (" +
                 (row.className != nullptr ? std::string(row.className) + ", " : "") + row.ident + ") of database " +
                 database + ", one row per record, read-only.";
  for (const FieldDef& f : fields) {
    ReportColumn c = Column(f, schema);
    // Two fields of one name stay apart.
    for (int n = 2; std::any_of(view.columns.begin(), view.columns.end(),
                                [&](const ReportColumn& o) { return o.name == c.name; });
         ++n) {
      c.name = SqlName(f.name) + "_" + std::to_string(n);
    }
    view.columns.push_back(std::move(c));
  }
  view.columns.push_back({"record_position", "bigint", "pos",
                          "record position: where the record manager keeps the record, unique in the file"});
  view.columns.push_back({"record_bytes", "bytea", "data", "record bytes: the whole record as stored"});
  return view;
}

std::string QuoteIdent(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string QuoteLiteral(const std::string& text) {
  // E'' so that a backslash means the same whatever standard_conforming_strings says.
  std::string out = "E'";
  for (const char c : text) {
    if (c == '\'' || c == '\\') out += c;
    out += c;
  }
  return out + "'";
}

std::string TextFunctionSql(const std::string& schema) {
  // The whole field at once; a field that is not code page 932 throughout
  // character by character: user-defined characters (lead bytes F0 to F9)
  // as the private-use characters Windows gives them, a byte that starts no
  // character as the four characters \xNN, and the text goes on after it.
  return "CREATE OR REPLACE FUNCTION " + QuoteIdent(schema) + "." + kTextFunction +
         "(field bytea) RETURNS text LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE "
         "SET search_path = pg_catalog, pg_temp AS $body$\n"
         "DECLARE\n"
         "  n int := position('\\x00'::bytea IN field);\n"
         "  i int := 1;\n"
         "  b int;\n"
         "  t int;\n"
         "  result text := '';\n"
         "BEGIN\n"
         "  IF n > 0 THEN field := substr(field, 1, n - 1); END IF;\n"
         "  n := octet_length(field);\n"
         "  BEGIN\n"
         "    RETURN convert_from(field, 'SJIS');\n"
         "  EXCEPTION WHEN character_not_in_repertoire OR untranslatable_character THEN NULL;\n"
         "  END;\n"
         "  WHILE i <= n LOOP\n"
         "    b := get_byte(field, i - 1);\n"
         "    t := CASE WHEN i < n THEN get_byte(field, i) ELSE 0 END;\n"
         "    IF b < 128 THEN\n"
         "      result := result || chr(b);\n"
         "      i := i + 1;\n"
         "      CONTINUE;\n"
         "    ELSIF b BETWEEN 161 AND 223 THEN\n"
         "      result := result || convert_from(substr(field, i, 1), 'SJIS');\n"
         "      i := i + 1;\n"
         "      CONTINUE;\n"
         "    ELSIF b BETWEEN 240 AND 249 AND (t BETWEEN 64 AND 126 OR t BETWEEN 128 AND 252) THEN\n"
         "      result := result || chr(57344 + (b - 240) * 188 + t - 64 - (t >= 128)::int);\n"
         "      i := i + 2;\n"
         "      CONTINUE;\n"
         "    ELSIF (b BETWEEN 129 AND 159 OR b BETWEEN 224 AND 252) AND t <> 0 THEN\n"
         "      BEGIN\n"
         "        result := result || convert_from(substr(field, i, 2), 'SJIS');\n"
         "        i := i + 2;\n"
         "        CONTINUE;\n"
         "      EXCEPTION WHEN character_not_in_repertoire OR untranslatable_character THEN NULL;\n"
         "      END;\n"
         "    END IF;\n"
         "    result := result || chr(92) || 'x' || lpad(to_hex(b), 2, '0');\n"
         "    i := i + 1;\n"
         "  END LOOP;\n"
         "  RETURN result;\n"
         "END\n"
         "$body$";
}

std::string CreateViewSql(const ReportView& view, const std::string& schema, const std::string& table, bool replace) {
  std::string sql = std::string(replace ? "CREATE OR REPLACE VIEW " : "CREATE VIEW ") + QuoteIdent(schema) + "." +
                    QuoteIdent(view.name) + " AS SELECT";
  for (size_t i = 0; i < view.columns.size(); ++i) {
    sql += (i ? ",\n  " : "\n  ") + view.columns[i].expression + " AS " + QuoteIdent(view.columns[i].name);
  }
  return sql + "\nFROM " + table;
}

std::vector<std::string> CommentSql(const ReportView& view, const std::string& schema) {
  const std::string name = QuoteIdent(schema) + "." + QuoteIdent(view.name);
  std::vector<std::string> out{"COMMENT ON VIEW " + name + " IS " + QuoteLiteral(view.comment)};
  for (const ReportColumn& c : view.columns) {
    out.push_back("COMMENT ON COLUMN " + name + "." + QuoteIdent(c.name) + " IS " + QuoteLiteral(c.comment));
  }
  return out;
}

}  // namespace reclink::cli
