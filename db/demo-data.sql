/*
 * Demo data for the front database: six rooms, their telephone lines and a
 * few guests. Run by scripts/create-db after schema.sql.
 *
 *   room  lines        stay
 *   101   2101         -
 *   102   2102         SMITH JOHN in house
 *   103   2103         Petrova Anna (Cyrillic) reserved, arrives later
 *   104   2104         -
 *   105   (none)       -
 *   201   2201, 2202   -        (a suite with two lines)
 *
 * Cyrillic names are Windows-1251 bytes written as x'..' literals, so this
 * file stays ASCII and isql cannot alter them on the way in. No event is
 * queued: each test or demo queues its own with QUEUE_FRONT_EVENT.
 */

insert into ROOMS (ROOM_NAME) values ('101');
insert into ROOMS (ROOM_NAME) values ('102');
insert into ROOMS (ROOM_NAME) values ('103');
insert into ROOMS (ROOM_NAME) values ('104');
insert into ROOMS (ROOM_NAME) values ('105');
insert into ROOMS (ROOM_NAME) values ('201');

insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2101', '101');
insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2102', '102');
insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2103', '103');
insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2104', '104');
insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2201', '201');
insert into PHONE_LINE_CONVERT (LINE, ROOM_NAME) values ('2202', '201');

insert into PROFILE (PROFILE_NAME) values ('SMITH JOHN');
/* Ivanov Ivan, in Cyrillic */
insert into PROFILE (PROFILE_NAME) values (x'C8E2E0EDEEE220C8E2E0ED');
/* Petrova Anna, in Cyrillic */
insert into PROFILE (PROFILE_NAME) values (x'CFE5F2F0EEE2E020C0EDEDE0');

insert into RESERV_DETAIL (ID_ROOM, ID_PERSON_PROFILE, CHECK_STATUS)
    select r.ID_ROOM, p.ID_PROFILE, 0 from ROOMS r, PROFILE p
     where r.ROOM_NAME = '102' and p.PROFILE_NAME = 'SMITH JOHN';
insert into RESERV_DETAIL (ID_ROOM, ID_PERSON_PROFILE, CHECK_STATUS)
    select r.ID_ROOM, p.ID_PROFILE, 2 from ROOMS r, PROFILE p
     where r.ROOM_NAME = '103' and p.PROFILE_NAME = x'CFE5F2F0EEE2E020C0EDEDE0';

commit;
