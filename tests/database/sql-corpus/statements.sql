create table t (id integer not null, n varchar(20), d double, w date, primary key (id))
create table u (id integer, m time, f boolean, b long varbinary, c char(4), s smallint, r float)
alter table u add column x long varchar not null
insert into t (id, n, d, w) values (1, 'O''Brien', 2.5, '2020-1-31')
insert into t (id, n) values (2, NULL)
insert into u (id, m, f, c) values (1, '12:30:05', 'true', "ab""c")
update t set n = 'it''s', d = -1.25 where id = 1 or n like 'x%'
update t set n = NULL where n is not null and d >= 2
delete from t where upper(n) = 'X' and w <> '2020-1-1'
delete from t where id = 9 or n not like '%b_'
select * from t;
select id, n from t where n = Smith order by 2 desc, id
select count(*), avg(d), sum(d), min(id), max(id) from t group by n
select x.id, y.id from t x, u y where x.id = y.id and y.f = true
select t.*, u.m from t, u where t.n = u.c or lower(u.c) <= 'b'
select [Order Date] from t where [n] is null
commit
rollback
drop table t
create index i on t (n)
insert into t (id, n, d, w) values (3, 'café', 1e1, '2021-12-1')
select id, n from t where d = 1e1 or n = 'café'
update t set d = 2.5E-1 where id = 3 and w >= '2021-1-1'
select id from t where id = 3e0 and d < 1
