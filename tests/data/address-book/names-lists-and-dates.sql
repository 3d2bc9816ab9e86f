-- Contacts as another address-book program leaves them: names given only as a display name,
-- 8-bit text, addresses and children as multi-valued properties, dates as FILETIMEs, and lists
-- (one without a name, one holding a list and a contact twice).
-- 805371935 = PR_DISPLAY_NAME_W, 973471775 = PR_GIVEN_NAME_W, 974192671 = PR_SURNAME_W,
-- 974192670 = PR_SURNAME_A, 978718751 = PR_CONTACT_EMAIL_ADDRESSES_W, 978849823 = PR_CHILDRENS_NAMES_W,
-- 977403968 = PR_BIRTHDAY, 977338432 = PR_WEDDING_ANNIVERSARY, 805568543 = PR_COMMENT_W
INSERT INTO entries(id, object_type) VALUES (1, 6), (2, 6), (3, 6), (4, 6), (5, 8), (6, 8), (7, 8);
INSERT INTO props(entry, tag, seq, value) VALUES
  (1, 805371935, 0, 'Alpha Beta Gamma'),
  (1, 978718751, 0, 'alpha@example.org'),
  (1, 978718751, 1, ' beta@example.org'),
  (1, 977403968, 0, 118497600000000000),
  (2, 805371935, 0, 'Omega'),
  (2, 978849823, 0, 'Kim'),
  (2, 978849823, 1, 'Lou'),
  (2, 977338432, 0, 126000000000000000),
  (3, 973471775, 0, 'Zoë'),
  (3, 974192671, 0, 'Müller'),
  (3, 805371935, 0, 'Dr. Zoë Müller'),
  (3, 805568543, 0, 'first line
second line'),
  (4, 974192670, 0, CAST('Öztürk' AS BLOB)),
  (4, 805371935, 0, 'Ayşe Öztürk'),
  (5, 805371935, 0, 'Family'),
  (7, 805371935, 0, 'Work');
INSERT INTO members(list, seq, member) VALUES
  (5, 0, 1), (5, 1, 2),
  (6, 0, 5),
  (7, 0, 3), (7, 1, 6), (7, 2, 1), (7, 3, 3);
