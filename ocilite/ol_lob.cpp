#include "ocilite/ol_lob.h"

#include "ocilite/ol_database.h"
#include "ocilite/ol_text.h"

#include <cstring>

namespace ocilite {

namespace {

std::size_t total_of(const lob_locator& loc) { return loc.clob ? loc.chars.size() : loc.bytes.size(); }

// Copies the next piece into the buffer; returns the amount the client is
// told (bytes, or UTF-16 units for a UTF-16 client) and the bytes written.
ub4 fill_piece(lob_locator& loc, void* bufp, ub4 bufl, ub2 csid, ub4& bytes) {
  char* out = static_cast<char*>(bufp);
  std::size_t pos = loc.read_pos, end = loc.read_end;
  if (!loc.clob) {
    std::size_t n = std::min<std::size_t>(bufl, end - pos);
    std::memcpy(out, loc.bytes.data() + pos, n);
    loc.read_pos += n;
    bytes = static_cast<ub4>(n);
    return bytes;
  }
  if (is_utf16(csid)) {
    std::size_t n = std::min<std::size_t>(bufl / 2, end - pos);
    if (n < end - pos && n > 0 && loc.chars[pos + n - 1] >= 0xD800 && loc.chars[pos + n - 1] <= 0xDBFF)
      --n;
    if (n == 0) fail(24801);
    std::memcpy(out, loc.chars.data() + pos, n * 2);
    loc.read_pos += n;
    bytes = static_cast<ub4>(n * 2);
    return static_cast<ub4>(n);
  }
  // UTF-8: whole characters only.
  std::size_t written = 0;
  while (pos < end) {
    std::size_t units = (loc.chars[pos] >= 0xD800 && loc.chars[pos] <= 0xDBFF && pos + 1 < end) ? 2 : 1;
    std::string enc = utf16_to_utf8(std::u16string_view(loc.chars.data() + pos, units));
    if (written + enc.size() > bufl) break;
    std::memcpy(out + written, enc.data(), enc.size());
    written += enc.size();
    pos += units;
  }
  if (written == 0) fail(24801);
  loc.read_pos = pos;
  bytes = static_cast<ub4>(written);
  return bytes;
}

void persist(lob_locator& loc) {
  std::shared_ptr<database> db = loc.db.lock();
  if (!db || !db->is_open()) fail(3114);
  std::string sql = "UPDATE \"" + loc.table + "\" SET \"" + loc.column + "\" = ?1 WHERE rowid = ?2";
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db->handle(), sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) throw ora_failure{map_sqlite_error(db->handle(), rc, "UPDATE")};
  if (loc.clob) {
    std::string text = utf16_to_utf8(loc.chars);
    sqlite3_bind_text(st, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_blob(st, 1, loc.bytes.data(), static_cast<int>(loc.bytes.size()), SQLITE_TRANSIENT);
  }
  sqlite3_bind_int64(st, 2, loc.rowid);
  rc = sqlite3_step(st);
  ora_error e;
  if (rc != SQLITE_DONE) e = map_sqlite_error(db->handle(), rc, "UPDATE");
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw ora_failure{e};
}

// Writes one piece at the write position; returns the amount written in
// the LOB's own units.
std::size_t write_piece(lob_locator& loc, const void* bufp, std::size_t bytes, ub2 csid,
                        std::size_t limit) {
  if (!loc.clob) {
    std::size_t n = std::min(bytes, limit);
    if (loc.write_pos > loc.bytes.size()) loc.bytes.resize(loc.write_pos, '\0');
    if (loc.write_pos + n > loc.bytes.size()) loc.bytes.resize(loc.write_pos + n);
    std::memcpy(loc.bytes.data() + loc.write_pos, bufp, n);
    loc.write_pos += n;
    return n;
  }
  std::u16string data = utf8_to_utf16(decode_text(bufp, bytes, csid));
  if (is_utf16(csid) && data.size() > limit) data.resize(limit);
  if (loc.write_pos > loc.chars.size()) loc.chars.resize(loc.write_pos, u' ');
  if (loc.write_pos + data.size() > loc.chars.size()) loc.chars.resize(loc.write_pos + data.size());
  std::memcpy(loc.chars.data() + loc.write_pos, data.data(), data.size() * 2);
  loc.write_pos += data.size();
  return data.size();
}

}  // namespace

sword lob_read(lob_locator& loc, ub4* amtp, ub4 offset, void* bufp, ub4 bufl, void* ctxp,
               OCICallbackLobRead cbfp, ub2 csid) {
  if (!loc.initialized) fail(22275);
  if (!amtp || !bufp || bufl == 0) fail(24801);
  ub2 cs = csid ? csid : env_charset(loc.env);
  if (!loc.reading) {
    if (offset == 0) fail(24801);
    std::size_t total = total_of(loc);
    std::size_t pos = offset - 1;
    if (pos >= total) {
      *amtp = 0;
      return OCI_NO_DATA;
    }
    loc.read_pos = pos;
    loc.read_end = *amtp == 0 ? total : std::min<std::size_t>(total, pos + *amtp);
  }
  if (cbfp) {
    ub4 sum = 0;
    bool first = true;
    for (;;) {
      ub4 bytes = 0;
      sum += fill_piece(loc, bufp, bufl, cs, bytes);
      bool more = loc.read_pos < loc.read_end;
      ub1 piece = first ? (more ? OCI_FIRST_PIECE : OCI_ONE_PIECE) : (more ? OCI_NEXT_PIECE : OCI_LAST_PIECE);
      first = false;
      sb4 r = cbfp(ctxp, bufp, bytes, piece);
      if (!more || r != OCI_CONTINUE) break;
    }
    loc.reading = false;
    *amtp = sum;
    return OCI_SUCCESS;
  }
  ub4 bytes = 0;
  *amtp = fill_piece(loc, bufp, bufl, cs, bytes);
  loc.reading = loc.read_pos < loc.read_end;
  return loc.reading ? OCI_NEED_DATA : OCI_SUCCESS;
}

sword lob_write(lob_locator& loc, ub4* amtp, ub4 offset, void* bufp, ub4 buflen, ub1 piece,
                void* ctxp, OCICallbackLobWrite cbfp, ub2 csid) {
  if (!loc.initialized) fail(22275);
  if (!loc.locked) fail(22920);
  if (!amtp || (!bufp && buflen)) fail(24801);
  ub2 cs = csid ? csid : env_charset(loc.env);
  // With a varying-width client set the amount counts bytes, else the LOB's units.
  bool amount_in_bytes = !loc.clob || !is_utf16(cs);
  std::size_t limit = *amtp && amount_in_bytes ? std::min<std::size_t>(*amtp, buflen) : buflen;
  std::size_t unit_limit = loc.clob && is_utf16(cs) && *amtp ? *amtp : SIZE_MAX;
  if (piece == OCI_ONE_PIECE || piece == OCI_FIRST_PIECE) {
    if (offset == 0) fail(24801);
    loc.write_pos = offset - 1;
    loc.writing = false;
  } else if (!loc.writing) {
    fail(24801);
  }
  std::size_t written = write_piece(loc, bufp, loc.clob ? limit : limit, cs,
                                    loc.clob ? unit_limit : limit);
  if (piece == OCI_FIRST_PIECE && cbfp) {
    ub1 next = OCI_NEXT_PIECE;
    while (next != OCI_LAST_PIECE) {
      ub4 len = buflen;
      sb4 r = cbfp(ctxp, bufp, &len, &next);
      if (r != OCI_CONTINUE) break;
      written += write_piece(loc, bufp, len, cs, loc.clob ? SIZE_MAX : len);
    }
    piece = OCI_LAST_PIECE;
  }
  if (piece == OCI_FIRST_PIECE || piece == OCI_NEXT_PIECE) {
    loc.writing = true;
    *amtp = static_cast<ub4>(written);
    return OCI_NEED_DATA;
  }
  loc.writing = false;
  persist(loc);
  *amtp = static_cast<ub4>(written);
  return OCI_SUCCESS;
}

}  // namespace ocilite
