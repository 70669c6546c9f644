#include "ORA/ora_query_results.h"

#include "ORA/ora_engine.h"
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "oci/oci_library.h"

ora_query_results::ora_query_results(const std::wstring& result_name, const std::wstring& text)
    : udb_recordset(result_name, text, true) {
  tk_log::write(2, "ora_query_results::ctor(2)");
}

ora_query_results::ora_query_results(int count, const std::wstring& select_text)
    : udb_recordset(std::wstring(), std::wstring(), true) {
  tk_log::write(2, "ora_query_results::ctor(1)");
  initialize(count, select_text);
}

ora_query_results::~ora_query_results() {
  tk_log::write(1, "ora_query_results::dtor");
  current.reset();
  columns.clear();
  tk_log::write(1, "ora_query_results::dtor - at the END");
}

void ora_query_results::initialize(int count, const std::wstring& select_text) {
  tk_log::write(2, L"ora_query_results::initialize(%d, %ls)", count, select_text.c_str());
  if (initialized) throw tk_mail_assertion("ora_qres", 97);
  ora_engine& engine = ora_engine::instance();
  const oci_functions& f = oci();
  column_count = count > 0 ? static_cast<ub4>(count) : 0;
  {
    // Describe pass: the query runs without fetching.
    ora_stmt describe;
    describe.prepare_query(select_text);
    engine.check_err(describe.execute(0));
    if (column_count == 0)
      engine.check_err(
          f.OCIAttrGet(describe.handle, OCI_HTYPE_STMT, &column_count, nullptr, OCI_ATTR_PARAM_COUNT, engine.err));
    for (ub4 p = 1; p <= column_count; ++p) {
      OCIParam* param = nullptr;
      {
        // A client may read the rows to describe an expression.
        ora_engine::server_call call(engine);
        engine.check_err(
            f.OCIParamGet(describe.handle, OCI_HTYPE_STMT, engine.err, reinterpret_cast<void**>(&param), p));
      }
      ub2 code = 0;
      engine.check_err(f.OCIAttrGet(param, OCI_DTYPE_PARAM, &code, nullptr, OCI_ATTR_DATA_TYPE, engine.err));
      std::unique_ptr<ora_type> column;
      try {
        column = gen_co_by_type(param, code);
      } catch (...) {
        qm_rethrow_if_cancelled();
        f.OCIDescriptorFree(param, OCI_DTYPE_PARAM);
        throw;
      }
      f.OCIDescriptorFree(param, OCI_DTYPE_PARAM);
      schema.push_back(column->get_ftd());
      columns.push_back(std::move(column));
    }
  }
  // Fetch pass on the result's own statement.
  this->select_text = select_text;
  stmt.prepare_query(select_text);
  for (std::size_t i = 0; i < columns.size(); ++i) columns[i]->define(stmt.handle, static_cast<ub4>(i + 1));
  engine.check_err(stmt.execute(0));
  initialized = true;
}

std::unique_ptr<ora_type> ora_query_results::gen_co_by_type(OCIParam* param, ub2 code) {
  tk_log::write(1, "ora_query_results::gen_co_by_type(%d)", code);
  switch (code) {
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_AFC:
      return std::make_unique<ora_string>(param);
    case SQLT_NUM:
    case SQLT_INT:
    case SQLT_FLT:
    case SQLT_VNU:
    case SQLT_PDN:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
      return std::make_unique<ora_number>(param, code);
    case SQLT_LNG:
    case SQLT_LBI:
    case SQLT_NTY:
      return std::make_unique<ora_str_repr>(param, code, 1000000);
    case SQLT_RID:
    case SQLT_RDD:
    case 105:
      return std::make_unique<ora_str_repr>(param, code, 255);
    case SQLT_DAT:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case 231:
    case SQLT_TIMESTAMP_LTZ:
      return std::make_unique<ora_date>(param, code);
    case SQLT_BIN:
      return std::make_unique<ora_binary>(param);
    case SQLT_CLOB:
    case SQLT_BLOB:
      return std::make_unique<ora_lob>(param, code);
    case 182:
    case SQLT_INTERVAL_YM:
    case SQLT_INTERVAL_DS:
      // Room for the longest interval text, +999999999 23:59:59.999999999.
      return std::make_unique<ora_str_repr>(param, code, 64);
    default:
      return std::make_unique<ora_dummy>(param);
  }
}

void ora_query_results::append_record(udb_record&) { throw tk_mail_assertion("ora_qres", 52); }

sword ora_query_results::fetch_row() {
  fetched = true;
  ora_engine& engine = ora_engine::instance();
  sword status = stmt.fetch();
  engine.check_err(status);
  at_end = status == OCI_NO_DATA;
  if (at_end) return status;
  ++rows_read;
  // A client may tell a cut only by the fetch's warning.
  auto told_cut = [&engine](sword fetch_status) {
    if (fetch_status != OCI_SUCCESS_WITH_INFO) return false;
    sb4 number = engine.error_number();
    return number == 1406 || number == 24345;
  };
  bool cut = told_cut(status);
  for (auto& column : columns)
    while (column->needs_more(cut) && column->widen()) cut = told_cut(read_row_again());
  return status;
}

sword ora_query_results::read_row_again() {
  ora_engine& engine = ora_engine::instance();
  ora_stmt again;
  again.prepare_query(select_text);
  for (std::size_t i = 0; i < columns.size(); ++i) columns[i]->define(again.handle, static_cast<ub4>(i + 1));
  engine.check_err(again.execute(0));
  sword status = OCI_NO_DATA;
  for (std::size_t n = 0; n < rows_read; ++n) {
    status = again.fetch();
    engine.check_err(status);
    if (status == OCI_NO_DATA)
      throw tk_exception(std::string("The result changed while a long value of it was read again."), 0);
  }
  stmt.swap(again);
  return status;
}

bool ora_query_results::is_eof() {
  tk_log::write(1, "ora_query_results::is_eof");
  if (!initialized) throw tk_mail_assertion("ora_qres", 84);
  return fetch_row() == OCI_NO_DATA;
}

udb_record* ora_query_results::get_item() {
  tk_log::write(1, "ora_query_results::get_item");
  if (!fetched) {
    tk_log::write(1, "fetch wasn't called yet");
    if (fetch_row() == OCI_NO_DATA) {
      tk_log::write(2, "status == OCI_NO_DATA!");
      return nullptr;
    }
  } else if (at_end) {
    // is_eof said so: the buffers hold no row.
    return nullptr;
  }
  current.reset();
  current = std::make_unique<ora_record>(columns);
  fetched = false;
  return current.get();
}

std::vector<std::wstring> ora_dictionary_names(const std::wstring& select_text) {
  std::vector<std::wstring> names;
  ora_query_results rows(1, select_text);
  while (!rows.is_eof()) {
    udb_record* row = rows.get_item();
    if (!row || row->empty()) break;
    names.push_back((*row)[0].to_wstring());
  }
  return names;
}
