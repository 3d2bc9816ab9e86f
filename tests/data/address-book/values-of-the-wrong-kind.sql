-- Values another program stored with the wrong SQLite type read as missing; a date outside what
-- a FILETIME can name is no date; a member whose entry is gone is not listed.
-- 973471775 = PR_GIVEN_NAME_W, 974192671 = PR_SURNAME_W, 805371935 = PR_DISPLAY_NAME_W,
-- 977403968 = PR_BIRTHDAY, 977338432 = PR_WEDDING_ANNIVERSARY, 978718751 = PR_CONTACT_EMAIL_ADDRESSES_W,
-- 973668383 = PR_HOME_TELEPHONE_NUMBER_W
INSERT INTO entries(id, object_type) VALUES (1, 6), (2, 6), (9, 8);
INSERT INTO props(entry, tag, seq, value) VALUES
  (1, 973471775, 0, 42),
  (1, 974192671, 0, 'Lee'),
  (1, 977403968, 0, '07-04-1976'),
  (1, 977338432, 0, -1),
  (1, 978718751, 0, 'a@example.org'),
  (1, 978718751, 1, 7),
  (2, 805371935, 0, X'416E6E'),
  (2, 973668383, 1, 'only a second value'),
  (9, 805371935, 0, 'Club');
INSERT INTO members(list, seq, member) VALUES (9, 0, 2), (9, 1, 8), (9, 2, 1);
